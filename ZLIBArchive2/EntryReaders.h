// The two readers of an entry's contents, for stored and for deflated bytes, over any source read
// by position: the archive's file, a stream handed to the reader, a decrypted copy. Every way of
// reading an entry (whole, in pieces, extracted with progress) goes through them, so every one
// accepts and refuses the same entries.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "ZLIBArchive2/Codec.h"
#include "ZLIBArchive2/SeekPoints.h"
#include "ZLIBArchive2/ZLIBArchive2.h"

namespace tomelet {

using TReadAt = TResumableInflater::TReadAt;

// What an open archive keeps across the readers of one entry; a one-off read keeps nothing.
struct TInflationTrack {
  TSeekPoints* Points = nullptr;                  // seek points of large entries
  int Index = 0;                                  // the entry's place among them
  std::atomic<std::int64_t>* Inflated = nullptr;  // bytes inflated, for the cost of ranges
  std::atomic<bool>* GoesOn = nullptr;            // set when the stream goes on past the size
};

// length bytes from begin, as they are. A source that ends sooner raises "The archive appears to
// be corrupted".
std::unique_ptr<TEntryReader> StoredContents(TReadAt readAt, std::int64_t begin,
                                             std::int64_t length);

// The zlib stream starting at begin (and running at most to end) inflated until size bytes have
// come out, given from byte from on; CompressedSize is not trusted. A stream that ends sooner, or
// damage met on the way, raises "The archive appears to be corrupted"; one that goes on past the
// size is passed over and noted in the track. A large entry starts from the nearest seek point
// before from and leaves new points as it goes.
std::unique_ptr<TEntryReader> InflatedContents(TReadAt readAt, std::int64_t begin, std::int64_t end,
                                               std::int64_t size, std::int64_t from = 0,
                                               TInflationTrack track = {});

}  // namespace tomelet
