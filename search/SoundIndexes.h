// Index blocks this process has found sound, so that an index opened again (a library closes
// those it has not used lately) skips the check of its whole structure. A block is known by its
// file's identity and its place in the file: a file written since has other times and is checked
// again.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/files/FileIdentity.h"

namespace tomelet::search {

struct TIndexBlockIdentity {
  TFileIdentity File;
  std::int64_t Offset = 0;
  std::int64_t Length = 0;
  bool operator==(const TIndexBlockIdentity&) const = default;
};

// The block [offset, offset + length) of the file behind fd as it is now; none when the file
// cannot be looked at.
std::optional<TIndexBlockIdentity> IdentifyIndexBlock(int fd, std::int64_t offset,
                                                      std::int64_t length);

// True when a block of this identity was remembered as sound.
bool WasFoundSound(const TIndexBlockIdentity& block);

// Remembers a block found sound by a check that began at checkBegan (nanoseconds since the
// epoch), identified before it began. A file changed shortly before is not remembered: a write
// within the same tick of the file system's clock would leave its times as they were.
void RememberSound(const TIndexBlockIdentity& block, std::int64_t checkBegan);

// Copies of a document (the same bytes in another file) need no check of their own: a block
// found sound is kept open (a few of them, the most recent) to compare others with.
// True when the block of the file behind fd holds byte for byte what a kept sound block holds;
// it is then remembered as sound, with the same content (unless its file changed too recently).
bool IsCopyOfSound(int fd, const TIndexBlockIdentity& block);
// False when no kept block's file has this size: a file of another size is no copy of one.
bool MayBeCopyOfSound(std::int64_t fileSize);
// Keeps the block of the file behind fd, remembered as sound, to compare others with.
void KeepSoundContent(int fd, const TIndexBlockIdentity& block);
// A number for what the sound block of the file holds: files with the same number hold the same
// index, byte for byte, so they rank alike. None when the file's block is not remembered.
std::optional<std::uint64_t> SoundContentOf(const TFileIdentity& file);

enum TStructureVerdict : int { kStructureSound, kStructureDamaged, kStructureNewer };

// The whole structure of the database at Offset in the file behind Fd, Length bytes from
// there.
struct TStructureCheck {
  int Fd = -1;
  std::int64_t Offset = 0;
  std::int64_t Length = 0;
};
// The verdict on each check. A crafted database can crash the checker itself, so checks run in a
// child of a small helper process, several in one child: only the verdicts come back, and when
// that child crashes or hangs each of its checks is made again in a child of its own, where a
// check that crashes or hangs finds its database damaged. Each check moves the file position of
// its descriptor.
std::vector<TStructureVerdict> CheckStructures(std::span<const TStructureCheck> checks);
// The verdict on one check, made together with those other threads ask for meanwhile: a thread
// that finds a checker free takes the checks waiting (its own first) to one child, at most one
// child for each core at once. Throws what CheckStructures throws.
TStructureVerdict CheckStructure(const TStructureCheck& check);
// Makes CheckStructure's helper process now. A program that will check indexes calls it before
// it starts threads or grows: a helper made later keeps its own copy of every page the program
// writes after the fork.
void PrepareStructureChecks();

// A block's turn to be checked: while one thread holds it, others asking for the turn of the
// same block wait until it is given back, then go on without it, so that documents sharing one
// file (hard links a search across a library opens at once) have it checked once and the others
// find it sound. A thread that holds the block's turn already takes it again at once. No block
// (a file that cannot be looked at): no turn.
class TCheckTurn {
 public:
  explicit TCheckTurn(const std::optional<TIndexBlockIdentity>& block);
  ~TCheckTurn();
  TCheckTurn(const TCheckTurn&) = delete;
  TCheckTurn& operator=(const TCheckTurn&) = delete;

 private:
  std::optional<TIndexBlockIdentity> taken_;
};

}  // namespace tomelet::search
