#!/usr/bin/perl
# perl net_telnet.pl PORT PROMPT FILE: logs in with the first lines of FILE
# (a user name when a password line follows it, then the password), then
# runs each further line with cmd() and prints its output. A line ${NAME} is
# the environment variable NAME; PROMPT, a regular expression, also matches
# the questions some lines lead to (enable's "Password: ").
use strict;
use warnings;
use Net::Telnet;

my ($port, $prompt, $file) = @ARGV;
open(my $in, '<', $file) or die "$file: $!";
chomp(my @lines = <$in>);
sub value { $_[0] =~ /^\$\{(\w+)\}$/ ? $ENV{$1} : $_[0] }

# Timeout is for a whole cmd(): a long listing through a slow link needs it.
my $t = Net::Telnet->new(Host => '127.0.0.1', Port => $port, Timeout => 30, Prompt => "/$prompt/");
# waitfor() and print() rather than login(): after the password, login() takes
# a "Last login: " cut at a piece's end for a second login prompt and fails.
if (@lines > 1 && $lines[1] =~ /^\$\{/) {
    $t->waitfor('/(?:login|Username): $/');
    $t->print(shift @lines);
}
$t->waitfor('/Password: $/');
$t->print(value(shift @lines));
$t->waitfor($t->prompt);
print $t->cmd(value($_)) for @lines;
$t->close;
