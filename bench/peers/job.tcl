# What telnet.exp and ssh.exp share: the job's lines from the file given as
# $file, and typing them. A line ${NAME} is typed as the environment variable
# NAME, so no password sits in a file.
set f [open $file]
set lines [split [string trimright [read $f] "\n"] "\n"]
close $f

proc await {pattern} {
    expect {
        -re $pattern {}
        timeout {exit 2}
        eof {exit 3}
    }
}

proc type {line} {
    global env
    if {[regexp {^\$\{(\w+)\}$} $line -> name]} {set line $env($name)}
    send -- "$line\r"
}

# Each further line at each prompt, then the last prompt; the client reaped
# before expect exits: its CPU time counts in expect's.
proc commands {lines prompt} {
    foreach line $lines {
        await $prompt
        type $line
    }
    await $prompt
    close
    wait
}
