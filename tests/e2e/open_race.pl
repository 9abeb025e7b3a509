#!/usr/bin/perl
# The stand-in for an opportunistic lock, under Wine and as root: fanotify holds the first open of
# WATCHED while the folder FOLDER is replaced by a symbolic link to TARGET (removed when empty, else
# moved aside to FOLDER.moved), as another program would while an updater waits in its open.
#   open_race.pl WATCHED READY FOLDER TARGET      (READY is created once the watch is set)
use strict;
use warnings;
use POSIX ();

my ($watched, $ready, $folder, $target) = @ARGV;
alarm 30;
my $fanotify = syscall(300, 0x4, 0x8000);    # fanotify_init(FAN_CLASS_CONTENT, O_RDONLY | O_LARGEFILE)
die "fanotify_init: $!\n" if $fanotify < 0;
syscall(301, $fanotify, 0x1, 0x10000, -100, $watched) == 0    # FAN_MARK_ADD, FAN_OPEN_PERM, AT_FDCWD
    or die "fanotify_mark $watched: $!\n";
{ open(my $mark, '>', $ready) or die "$ready: $!\n"; close($mark); }
my $event = '';
POSIX::read($fanotify, $event, 4096) or die "read: $!\n";
my (undef, undef, undef, undef, undef, $fd) = unpack('L C C S Q l', $event);
rmdir($folder) or rename($folder, "$folder.moved") or die "$folder: $!\n";
symlink($target, $folder) or die "link $folder: $!\n";
POSIX::write($fanotify, pack('l L', $fd, 1), 8);    # FAN_ALLOW
POSIX::close($fd);
