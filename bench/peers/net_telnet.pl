#!/usr/bin/perl
# perl net_telnet.pl PORT PROMPT FILE: logs in with login() where the file
# starts with a user name and password (a router asks for its password
# alone), then runs each further line with cmd() and prints its output. A
# line ${NAME} is the environment variable NAME; PROMPT, a regular expression,
# also matches the questions some lines lead to (enable's "Password: ").
use strict;
use warnings;
use Net::Telnet;

my ($port, $prompt, $file) = @ARGV;
open(my $in, '<', $file) or die "$file: $!";
chomp(my @lines = <$in>);
sub value { $_[0] =~ /^\$\{(\w+)\}$/ ? $ENV{$1} : $_[0] }

# Timeout is for a whole cmd(): a long listing through a slow link needs it.
my $t = Net::Telnet->new(Host => '127.0.0.1', Port => $port, Timeout => 30, Prompt => "/$prompt/");
if (@lines > 1 && $lines[1] =~ /^\$\{/) {
    $t->login(shift(@lines), value(shift(@lines)));
} else {
    $t->waitfor($t->prompt);
}
print $t->cmd(value($_)) for @lines;
$t->close;
