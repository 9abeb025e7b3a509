#!/usr/bin/perl
# Points a linked updater.exe's load configuration data directory at its
# _load_config_used structure, which GNU ld 2.40 leaves unset, and writes the
# PE checksum again. Run after the link and before any signing.
#   perl set_load_config.pl updater.exe
use strict;
use warnings;

my $file = shift or die "usage: set_load_config.pl EXE\n";
open(my $in, '<:raw', $file) or die "$file: $!\n";
my $image = do { local $/; <$in> };
close $in;

# The structure as main.cpp defines it: Size 0x70, DependentLoadFlags 0x800 at offset 78, all else 0.
my $config = pack('V', 0x70) . ("\0" x 74) . pack('v', 0x800) . ("\0" x 32);
my $at = index($image, $config);
die "$file: no load configuration structure found\n" if $at < 0 or index($image, $config, $at + 1) >= 0;

my $pe = unpack('V', substr($image, 0x3C, 4));
die "$file: not a PE32+ program\n" unless substr($image, $pe, 4) eq "PE\0\0" and unpack('v', substr($image, $pe + 24, 2)) == 0x20B;
my ($sections, $optional_size) = unpack('v x12 v', substr($image, $pe + 6, 16));
my $table = $pe + 24 + $optional_size;
my $rva;
for my $i (0 .. $sections - 1) {
    my ($virtual_size, $virtual_address, $raw_size, $raw_offset) = unpack('x8 V V V V', substr($image, $table + 40 * $i, 40));
    $rva = $at - $raw_offset + $virtual_address if $at >= $raw_offset and $at < $raw_offset + $raw_size;
}
die "$file: the structure lies in no section\n" unless defined $rva;
substr($image, $pe + 24 + 112 + 10 * 8, 8) = pack('V V', $rva, 0x70);

# The checksum: 16-bit words summed with their carries, the checksum field counted as 0, plus the length.
my $checksum_at = $pe + 24 + 64;
substr($image, $checksum_at, 4) = "\0\0\0\0";
my $sum = 0;
$sum += $_ for unpack('v*', $image . (length($image) % 2 ? "\0" : ''));
$sum = ($sum & 0xFFFF) + ($sum >> 16) while $sum > 0xFFFF;
substr($image, $checksum_at, 4) = pack('V', $sum + length($image));

open(my $out, '>:raw', $file) or die "$file: $!\n";
print $out $image;
close $out or die "$file: $!\n";
