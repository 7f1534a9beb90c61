#!/usr/bin/perl
# SPDX-License-Identifier: MIT
# Checks that the DIAGNOSTICS section of a manual page lists every line the
# program prints, and nothing it does not print.
#
# usage: perl man_messages.pl PAGE RENDERED SOURCE...
#
# PAGE is the page's name, for the report.  RENDERED is the page formatted by
#   groff -man -Tascii -P-c -rLL=200n -rIN=7n -rSN=3n
# so that bold and italic text come out as overstrikes (X BS X, _ BS X) and no
# message is broken across lines.  SOURCE... are the C++ files the program is
# built from.
#
# From the sources it takes the format string of every call of logerr, printf,
# fprintf, puts and fputs (for puts and fputs only when they are given a string
# literal; otherwise they write data, such as names to reslist.txt).  Adjacent
# literals and PRI* macros make one format; each operand of a ?: is a format
# of its own.  Every conversion (%s, %d, "%" PRIu32...) stands for a
# placeholder.
#
# In the page, a message is a line of DIAGNOSTICS at the tag indent (7 ens)
# typeset wholly in bold and italic, as .TP tags set with .B, .BI and .IB are:
# literal text in bold, and each placeholder as one italic word.  Section text,
# tag bodies and examples do not count.
#
# The check fails when a line of a format has no message of the same text with
# an italic word for each conversion, when a message matches no format, and
# when no format or no message is found at all.
use strict;
use warnings;

@ARGV >= 3 or die "usage: $0 PAGE RENDERED SOURCE...\n";
my ($page, $rendered, @sources) = @ARGV;

# Italic runs are wrapped in these two bytes, which neither text holds.
my ($ital_open, $ital_close) = ("\x01", "\x02");
my $placeholder = qr/\x01[^\x01\x02]+\x02/;
# Stands for a PRI* macro inside a format while it is parsed.
my $pri_mark = "\x03";
my $tag_indent = 7;

# ---- The page: the messages under DIAGNOSTICS --------------------------------

# One rendered line: its text with italic runs marked, whether any character
# is in the roman font, and its indent.
sub decode_line {
    my ($line) = @_;
    my ($text, $roman, $styled) = ('', 0, 0);
    my $in_italic = 0;
    while (length $line) {
        my ($char, $italic);
        if ($line =~ s/^_\x08(.)\x08\1//s) {    # bold italic
            ($char, $italic) = ($1, 1);
        } elsif ($line =~ s/^(.)\x08\1//s) {    # bold; "_ BS _" too
            ($char, $italic) = ($1, 0);
            $styled = 1;
        } elsif ($line =~ s/^_\x08(.)//s) {     # italic
            ($char, $italic) = ($1, 1);
        } else {
            $line =~ s/^(.)//s;
            $char = $1;
            $italic = 0;
            $roman = 1 if $char =~ /\S/;
        }
        $styled = 1 if $italic;
        if ($italic && !$in_italic) {
            $text .= $ital_open;
        } elsif (!$italic && $in_italic) {
            $text .= $ital_close;
        }
        $in_italic = $italic;
        $text .= $char;
    }
    $text .= $ital_close if $in_italic;
    # An italic run ends at a space: each placeholder is one word.
    $text =~ s/(\s+)$ital_close/$ital_close$1/g;
    $text =~ s/$ital_open(\s+)/$1$ital_open/g;
    $text =~ s/$ital_open$ital_close//g;
    my ($indent) = $text =~ /^( *)/;
    return ($text, $roman, $styled, length $indent);
}

sub normalize {
    my ($text) = @_;
    $text =~ s/\s+/ /g;
    $text =~ s/^ | $//g;
    return $text;
}

open my $page_in, '<:raw', $rendered or die "$0: cannot read $rendered: $!\n";
my (@documented, $in_section, $section_found);
while (my $line = <$page_in>) {
    $line =~ s/\r?\n$//;
    my ($text, $roman, $styled, $indent) = decode_line($line);
    next if $text !~ /\S/;
    if ($indent == 0) {    # a section heading, or the page's header or footer
        $in_section = normalize($text) eq 'DIAGNOSTICS';
        $section_found ||= $in_section;
        next;
    }
    next unless $in_section;
    if ($indent == $tag_indent && $styled && !$roman) {
        push @documented, normalize($text);
    }
}
close $page_in;

# ---- The sources: the format strings -----------------------------------------

sub unescape_c {
    my ($body, $where) = @_;
    my %simple = (n => "\n", t => "\t", r => "\r", a => "\a", b => "\b", f => "\f",
                  v => "\x0B", '\\' => '\\', '"' => '"', "'" => "'", '?' => '?');
    $body =~ s{\\(?:([ntrabfv\\"'?])|([0-7]{1,3})|x([0-9A-Fa-f]+)|(.))}{
        defined $1 ? $simple{$1}
        : defined $2 ? chr(oct $2)
        : defined $3 ? chr(hex $3)
        : die "$where: unknown escape \\$4\n"
    }ges;
    return $body;
}

# The tokens of a C++ file, with comments dropped: [kind, text, line].
sub tokenize {
    my ($file) = @_;
    open my $in, '<:raw', $file or die "$0: cannot read $file: $!\n";
    local $/;
    my $code = <$in>;
    close $in;
    my @tokens;
    my $line = 1;
    pos($code) = 0;
    while (pos($code) < length $code) {
        if ($code =~ /\G(\s+)/gc) {
            $line += ($1 =~ tr/\n//);
        } elsif ($code =~ m{\G//[^\n]*}gc) {
        } elsif ($code =~ m{\G/\*(.*?)\*/}gcs) {
            $line += ($1 =~ tr/\n//);
        } elsif ($code =~ /\G(?:u8|[uUL])?R"/gc) {
            die "$file:$line: raw string literals are not read by this check\n";
        } elsif ($code =~ /\G(?:u8|[uUL])?"((?:[^"\\\n]|\\.)*)"/gc) {
            push @tokens, ['str', unescape_c($1, "$file:$line"), $line];
        } elsif ($code =~ /\G(?:u8|[uUL])?'(?:[^'\\\n]|\\.)*'/gc) {
            push @tokens, ['char', '', $line];
        } elsif ($code =~ /\G([A-Za-z_]\w*)/gc) {
            push @tokens, ['id', $1, $line];
        } elsif ($code =~ /\G(\.?[0-9](?:[\w.']|[eEpP][+-])*)/gc) {
            push @tokens, ['num', $1, $line];
        } elsif ($code =~ /\G(::|->)/gc) {
            push @tokens, ['punct', $1, $line];
        } elsif ($code =~ /\G(.)/gcs) {
            push @tokens, ['punct', $1, $line];
        }
    }
    return @tokens;
}

# Which argument is the format, for each printing function.
my %format_argument = (logerr => 0, printf => 0, fprintf => 1, puts => 0, fputs => 0);
my %data_writer = (puts => 1, fputs => 1);
# Words that may come before a call; any other word there makes it a declaration.
my %before_call = map { $_ => 1 } qw(return else do);

my (@formats, @problems);    # formats: [text, "file:line"]
for my $file (@sources) {
    my @tokens = tokenize($file);
    for my $i (0 .. $#tokens - 1) {
        my ($kind, $name, $line) = @{$tokens[$i]};
        next unless $kind eq 'id' && exists $format_argument{$name};
        next unless $tokens[$i + 1][1] eq '(' && $tokens[$i + 1][0] eq 'punct';
        next if $i > 0 && $tokens[$i - 1][0] eq 'id' && !$before_call{$tokens[$i - 1][1]};
        # The arguments, split at the commas outside any bracket.
        my @arguments = ([]);
        my $depth = 0;
        my $j = $i + 1;
        for (; $j < @tokens; ++$j) {
            my ($k, $t) = @{$tokens[$j]};
            if ($k eq 'punct' && $t =~ /^[([{]$/) {
                ++$depth;
                next if $depth == 1;
            } elsif ($k eq 'punct' && $t =~ /^[)\]}]$/) {
                --$depth;
                last if $depth == 0;
            } elsif ($k eq 'punct' && $t eq ',' && $depth == 1) {
                push @arguments, [];
                next;
            }
            push @{$arguments[-1]}, $tokens[$j];
        }
        $j < @tokens or die "$file:$line: unbalanced call of $name\n";
        my $argument = $arguments[$format_argument{$name}] // [];
        # Runs of adjacent literals and PRI* macros.
        my @runs;
        my $open_run = 0;
        for my $token (@$argument) {
            my ($k, $t) = @$token;
            my $piece = $k eq 'str' ? $t
                      : ($k eq 'id' && $t =~ /^PRI[diouxX](?:8|16|32|64|MAX|PTR|LEAST\d+|FAST\d+)$/) ? $pri_mark
                      : undef;
            if (!defined $piece) {
                $open_run = 0;
                next;
            }
            push @runs, { text => '', literal => 0 } unless $open_run;
            $open_run = 1;
            $runs[-1]{text} .= $piece;
            $runs[-1]{literal} ||= $k eq 'str';
        }
        my @literal_runs = grep { $_->{literal} } @runs;
        if (!@literal_runs) {
            push @problems, "$file:$line: the format of this $name call is not a string literal"
                unless $data_writer{$name};
            next;
        }
        push @formats, [$_->{text}, "$file:$line"] for @literal_runs;
    }
}

# A regular expression for one line of a format: its literal text, with an
# italic placeholder for each conversion.
sub line_pattern {
    my ($format_line, $where) = @_;
    my $pattern = '';
    my $text = $format_line;
    $text =~ s/^\s+|\s+$//g;
    while (length $text) {
        if ($text =~ s/^%%//) {
            $pattern .= quotemeta '%';
        } elsif ($text =~ s/^%[-+ #0']*(?:\d+|\*)?(?:\.(?:\d+|\*)?)?(?:(?:hh|h|ll|l|j|z|t|L)?[diouxXcsfFeEgGaAp]|$pri_mark)//) {
            $pattern .= $placeholder;
        } elsif ($text =~ s/^%//) {
            push @problems, "$where: unreadable conversion in \"$format_line\"";
            return undef;
        } elsif ($text =~ s/^(\s+)//) {
            $pattern .= ' ';
        } else {
            $text =~ s/^([^%\s]+)//;
            $pattern .= quotemeta $1;
        }
    }
    return qr/^$pattern$/;
}

sub shown {
    my ($text) = @_;
    $text =~ s/$pri_mark/PRI*/g;
    $text =~ s/\n/\\n/g;
    $text =~ s/\x01([^\x01\x02]*)\x02/<$1>/g;
    return $text;
}

# ---- Both ways -----------------------------------------------------------------

my @lines;    # [pattern, shown text, where]
my %seen;
for my $format (@formats) {
    my ($text, $where) = @$format;
    for my $format_line (split /\n/, $text) {
        next if $format_line !~ /\S/;
        next if $seen{$format_line}++;
        my $pattern = line_pattern($format_line, $where);
        push @lines, [$pattern, shown($format_line), $where] if defined $pattern;
    }
}

push @problems, "$rendered: no DIAGNOSTICS section" unless $section_found;
push @problems, "$page: no message found under DIAGNOSTICS" if $section_found && !@documented;
push @problems, "the sources print no message that this check can find: is it still reading them right?"
    unless @formats;

for my $line (@lines) {
    my ($pattern, $text, $where) = @$line;
    next if grep { $_ =~ $pattern } @documented;
    push @problems, "$page: DIAGNOSTICS does not list \"$text\" ($where)";
}
for my $message (@documented) {
    next if grep { $message =~ $_->[0] } @lines;
    push @problems, "$page: DIAGNOSTICS lists \"" . shown($message)
        . "\", which the program never prints (italic words shown <so>)";
}

if (@problems) {
    print STDERR "man_messages: $_\n" for @problems;
    exit 1;
}
printf "man_messages: %s: the %d lines the program prints are all under DIAGNOSTICS, which lists no other\n",
    $page, scalar @lines;
exit 0;
