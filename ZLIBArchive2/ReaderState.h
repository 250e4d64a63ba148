// State of a TZLBArc2 shared by its opening and its extracting halves.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ZLIBArchive2/ArchiveSnapshot.h"
#include "ZLIBArchive2/EntryTable.h"
#include "ZLIBArchive2/ZLIBArchive2.h"

namespace tomelet {

[[noreturn]] void RaiseArchiveError(std::string text);

struct TZLBArc2::Impl {
  enum class Phase { Idle, Registry, Entry };

  explicit Impl(TZLBArc2& owner) : owner(owner) {}

  TZLBArc2& owner;
  // The open archive: the descriptor and the registry every read goes through.
  std::shared_ptr<const TArchiveSnapshot> core;
  std::int64_t archiveStart = -1;
  Phase phase = Phase::Idle;
  std::string message;
  std::int64_t total = 0;
  std::int64_t done = 0;
  bool destroying = false;

  // The open registry; empty when no archive is open.
  const TEntryTable& Table() const;
  // Raises "Unable to open archive <name>" once the file is gone from its path or unreadable,
  // as a reader that opened it for each entry would.
  void CheckFileStillThere() const;

  void BeginPhase(Phase newPhase, std::string newMessage, std::int64_t newTotal);
  // Raises OnProgress for the current phase.
  void DoProgress() const;

  // Raises "The archive appears to be corrupted" for an entry whose data lies outside the
  // data area.
  void CheckEntryPlacement(const TArchiveEntry& entry) const;
  // Writes the contents of entry from source (positioned at its data) to dest.
  void DecodeEntry(const TArchiveEntry& entry, TStream& source, TStream& dest);
  // Inflates all size bytes of contents straight into dest's memory; false, dest as it was,
  // when reading fails.
  bool InflateAtOnce(TEntryReader& contents, std::int64_t size, TMemoryStream& dest);
  // Copies contents in the steps progress is reported in; any failure on the way raises "The
  // archive appears to be corrupted".
  void InflateInSteps(TEntryReader& contents, TStream& dest);
  void DecryptAndDecode(const TArchiveEntry& entry, TStream& source, TStream& dest);
};

}  // namespace tomelet
