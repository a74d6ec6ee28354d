// Turning the grouping trees into list rows, and the CRC pass between them.
#pragma once

#include "scan/file_digest.h"
#include "scan/scan_context.h"

// Sends every group of the key tree whose size lies within the group
// limits (CRC comparison off). With "display CRC" on, each listed file is
// read for the CRC column.
void emit_groups(ScanContext& ctx);

// The CRC pass: reads the files of every key group with at least group_min
// members and files them into the CRC tree under their key extended by
// their contents, so only files with equal contents stay together.
void crc_regroup(ScanContext& ctx);

// Sends every group of the CRC tree within the group limits.
void emit_crc_groups(ScanContext& ctx);

// True when the CRC pass reads beginnings first: groups of one file are
// never listed, so a file whose beginning no other file of its key shares
// may be left out unread.
bool probes_first(const ScanOptions& o);

// How much of a file the CRC pass reads first, to tell files of one key
// apart before reading any of them to its end.
inline constexpr std::size_t PROBE_BYTES = 16 * 1024;

// Writes what a read of file `file` found into its contents record (made
// before) and its member's CRC-32: from a read of its beginning, or of its
// whole. A failed read marks it UNREADABLE.
void record_probe(FileStore& files, std::uint32_t file, const FileProbe& probe);
void record_digest(FileStore& files, std::uint32_t file, const FileDigest& digest);
