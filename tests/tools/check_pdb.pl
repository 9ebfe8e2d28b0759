#!/usr/bin/perl
# Loads a database written by qv with a reader that shares no code with it,
# and checks what that reader sees.
#
#   check_pdb.pl FILE NAME COUNT [--hex DUMP] [--same-as OTHER.pdb [--from N]]
#
# FILE must load, carry type and creator "PmDB", the name NAME and COUNT
# records, and be written back byte for byte by the reader's own writer.
# --hex DUMP: each line "INDEX HEXBYTES" (blank lines and # comments
#   skipped) gives the exact bytes of one record; an empty HEXBYTES is a
#   record of length 0.
# --same-as OTHER.pdb: every record of FILE equals the record with the same
#   index in OTHER (which must have the same count); with --from N only the
#   records from index N on are compared.
# Prints what differs and exits 1; exits 2 on bad arguments.
use strict;
use warnings;

use File::Temp qw(tempdir);
use Palm::PDB;
use Palm::Raw;

sub usage {
    print STDERR "usage: $0 FILE NAME COUNT [--hex DUMP] [--same-as OTHER.pdb [--from N]]\n";
    exit 2;
}

my ($file, $name, $count, @rest) = @ARGV;
usage() unless defined $count && $count =~ /^\d+$/;
my ($hexFile, $otherFile);
my $from = 0;
while (@rest) {
    my $option = shift @rest;
    my $value = shift @rest;
    usage() unless defined $value;
    if ($option eq '--hex') { $hexFile = $value; }
    elsif ($option eq '--same-as') { $otherFile = $value; }
    elsif ($option eq '--from' && $value =~ /^\d+$/) { $from = $value; }
    else { usage(); }
}

my @problems;
sub problem { push @problems, join('', @_); }

sub load {
    my ($path) = @_;
    my $pdb = Palm::PDB->new;
    my $loaded = eval { $pdb->Load($path) };
    die "$path: the reader refused the file: " . ($@ || "cannot open") . "\n" unless $loaded;
    return $pdb;
}

sub slurp {
    my ($path) = @_;
    open(my $in, '<:raw', $path) or die "$path: $!\n";
    local $/;
    my $bytes = <$in>;
    close $in;
    return $bytes;
}

my $pdb = eval { load($file) };
if (!$pdb) {
    print "$file: FAILED\n  $@";
    exit 1;
}
my @records = @{ $pdb->{records} };

problem("name is '$pdb->{name}', expected '$name'") unless $pdb->{name} eq $name;
problem("type is '$pdb->{type}', expected 'PmDB'") unless $pdb->{type} eq 'PmDB';
problem("creator is '$pdb->{creator}', expected 'PmDB'") unless $pdb->{creator} eq 'PmDB';
problem(scalar(@records) . " records, expected $count") unless @records == $count;

# The reader's writer lays the file out from what it loaded; the same bytes
# mean that header, record list, app-info block and records were all seen
# where qv put them.
my $folder = tempdir(CLEANUP => 1);
my $copy = "$folder/rewritten.pdb";
if (eval { $pdb->Write($copy); 1 }) {
    my ($original, $rewritten) = (slurp($file), slurp($copy));
    if ($original ne $rewritten) {
        my $at = 0;
        $at++ while $at < length($original) && $at < length($rewritten)
            && substr($original, $at, 1) eq substr($rewritten, $at, 1);
        problem(sprintf("written back differently: %d bytes instead of %d, first difference at %d",
                        length($rewritten), length($original), $at));
    }
} else {
    problem("the reader could not write the file back: $@");
}

if (defined $hexFile) {
    open(my $dump, '<', $hexFile) or die "$hexFile: $!\n";
    while (my $line = <$dump>) {
        next if $line =~ /^\s*(#|$)/;
        my ($index, $hex) = $line =~ /^\s*(\d+)\s*([0-9A-Fa-f\s]*)$/
            or do { problem("$hexFile: unreadable line: $line"); next; };
        $hex =~ s/\s+//g;
        my $expected = pack('H*', $hex);
        if ($index >= @records) {
            problem("record $index is missing");
        } elsif ($records[$index]{data} ne $expected) {
            problem("record $index is ", unpack('H*', $records[$index]{data}), ", expected ", lc $hex);
        }
    }
    close $dump;
}

if (defined $otherFile) {
    my $other = eval { load($otherFile) };
    if (!$other) {
        problem($@);
    } else {
        my @expected = @{ $other->{records} };
        problem(scalar(@records) . " records, but $otherFile has " . scalar(@expected))
            unless @records == @expected;
        for my $i ($from .. ($#records < $#expected ? $#records : $#expected)) {
            problem("record $i differs from $otherFile")
                unless $records[$i]{data} eq $expected[$i]{data};
        }
    }
}

if (@problems) {
    print "$file: FAILED\n";
    print "  $_\n" for @problems;
    exit 1;
}
print "$file: ok ('$name', $count records)\n";
exit 0;
