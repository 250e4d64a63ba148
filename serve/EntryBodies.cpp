#include "serve/EntryBodies.h"

#include <sys/stat.h>

#include <algorithm>
#include <span>
#include <utility>
#include <vector>

#include "ZLIBArchive2/EntryChecks.h"

namespace tomelet::serve {

namespace {

constexpr std::size_t kPieceSize = 65536;
// The cache keeps at most this fraction of the memory budget, leaving the rest to entries held
// by replies in flight.
constexpr std::size_t kCacheFraction = 2;

class TTextBody final : public TBodySource {
 public:
  explicit TTextBody(std::string text) : text_(std::move(text)) {}
  std::span<const std::byte> Next() override {
    if (done_) {
      return {};
    }
    done_ = true;
    return std::as_bytes(std::span(text_));
  }

 private:
  std::string text_;
  bool done_ = false;
};

class TSharedBody final : public TBodySource {
 public:
  TSharedBody(TSharedBytes bytes, std::int64_t first, std::int64_t length)
      : bytes_(std::move(bytes)), first_(first), length_(length) {}
  std::span<const std::byte> Next() override {
    if (done_) {
      return {};
    }
    done_ = true;
    return std::span(*bytes_).subspan(static_cast<std::size_t>(first_),
                                      static_cast<std::size_t>(length_));
  }

 private:
  TSharedBytes bytes_;
  std::int64_t first_;
  std::int64_t length_;
  bool done_ = false;
};

class TFileBlockBody final : public TBodySource {
 public:
  TFileBlockBody(std::shared_ptr<const TDocument> archive, TFileBlock block)
      : archive_(std::move(archive)),
        block_(block),
        piece_(static_cast<std::size_t>(std::min<std::int64_t>(block.Length, kPieceSize))) {}
  std::span<const std::byte> Next() override {
    const auto want = static_cast<std::size_t>(
        std::min<std::int64_t>(block_.Length - done_, static_cast<std::int64_t>(piece_.size())));
    if (want == 0) {
      return {};
    }
    const auto piece = std::span(piece_).first(want);
    if (archive_->ReadAt(block_.FileOffset + done_, piece) != want) {
      RaiseCorrupted();
    }
    done_ += static_cast<std::int64_t>(want);
    return piece;
  }

 private:
  std::shared_ptr<const TDocument> archive_;
  TFileBlock block_;
  std::vector<std::byte> piece_;
  std::int64_t done_ = 0;
};

class TInflatingBody final : public TBodySource {
 public:
  TInflatingBody(std::shared_ptr<const TDocument> archive, int index, std::int64_t first,
                 std::int64_t length)
      : archive_(std::move(archive)),
        reader_(archive_->OpenContents(index, first)),
        left_(length),
        piece_(kPieceSize) {}
  std::span<const std::byte> Next() override {
    const auto piece = Fill(static_cast<std::size_t>(std::min<std::int64_t>(left_, kPieceSize)));
    left_ -= static_cast<std::int64_t>(piece.size());
    return piece;
  }

 private:
  std::span<const std::byte> Fill(std::size_t want) {
    const auto piece = std::span(piece_).first(want);
    std::size_t got = 0;
    while (got < want) {
      const std::size_t more = reader_->Read(piece.subspan(got));
      if (more == 0) {
        RaiseCorrupted();
      }
      got += more;
    }
    return piece;
  }

  std::shared_ptr<const TDocument> archive_;
  std::unique_ptr<TEntryReader> reader_;
  std::int64_t left_;
  std::vector<std::byte> piece_;
};

class TGuardedBody final : public TBodySource {
 public:
  TGuardedBody(std::unique_ptr<TBodySource> body, std::shared_ptr<const TDocument> archive)
      : body_(std::move(body)), archive_(std::move(archive)) {}
  std::span<const std::byte> Next() override {
    const auto piece = body_->Next();
    RaiseIfRewritten(*archive_);
    return piece;
  }

 private:
  std::unique_ptr<TBodySource> body_;
  std::shared_ptr<const TDocument> archive_;
};

std::unique_ptr<TBodySource> GuardedBody(std::unique_ptr<TBodySource> body,
                                         std::shared_ptr<const TDocument> archive) {
  return std::make_unique<TGuardedBody>(std::move(body), std::move(archive));
}

}  // namespace

bool IsIntact(const TDocument& archive) {
  struct stat now {};
  if (::fstat(archive.Descriptor(), &now) != 0) {
    return false;
  }
  const TFileIdentity& opened = archive.Identity();
  const auto same = [](const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
  };
  return now.st_size == opened.Size && same(now.st_mtim, opened.Modified) &&
         (same(now.st_ctim, opened.StatusChanged) || now.st_nlink == 0);
}

void RaiseIfRewritten(const TDocument& archive) {
  if (!IsIntact(archive)) {
    throw EZLBArchiveError("The document file has been rewritten since it was opened");
  }
}

std::unique_ptr<TBodySource> TextBody(std::string text) {
  return std::make_unique<TTextBody>(std::move(text));
}

std::unique_ptr<TBodySource> SharedBody(TSharedBytes bytes, std::int64_t first,
                                        std::int64_t length) {
  return std::make_unique<TSharedBody>(std::move(bytes), first, length);
}

std::unique_ptr<TBodySource> FileBlockBody(std::shared_ptr<const TDocument> archive,
                                           TFileBlock block) {
  auto body = std::make_unique<TFileBlockBody>(archive, block);
  return GuardedBody(std::move(body), std::move(archive));
}

std::unique_ptr<TBodySource> InflatingBody(std::shared_ptr<const TDocument> archive, int index,
                                           std::int64_t first, std::int64_t length) {
  auto body = std::make_unique<TInflatingBody>(archive, index, first, length);
  return GuardedBody(std::move(body), std::move(archive));
}

TEntryCache::TEntryCache(std::size_t budget) : budget_(budget), share_(budget / kCacheFraction) {}

std::uint64_t TEntryCache::NewOwner() {
  return owners_++;
}

TSharedBytes TEntryCache::Get(std::uint64_t owner, int index, std::size_t size,
                              const std::function<std::vector<std::byte>()>& load) {
  const Key key{owner, index};
  {
    const std::lock_guard lock(mutex_);
    if (const auto found = slots_.find(key); found != slots_.end()) {
      ages_.splice(ages_.begin(), ages_, found->second.Age);
      return found->second.Bytes;
    }
  }
  auto hold = budget_.Reserve(size);
  if (!hold) {
    return nullptr;
  }
  // Loading happens outside the lock: two threads may inflate the same entry once each, which
  // costs less than making every other request wait. The bytes carry their hold on the budget
  // for as long as any reply or the cache keeps them.
  struct TCounted {
    std::vector<std::byte> Bytes;
    TMemoryHold Hold;
  };
  auto counted = std::make_shared<const TCounted>(TCounted{load(), std::move(*hold)});
  TSharedBytes bytes(counted, &counted->Bytes);
  Insert(key, bytes);
  return bytes;
}

void TEntryCache::Insert(const Key& key, const TSharedBytes& bytes) {
  if (bytes->size() > share_) {
    return;
  }
  const std::lock_guard lock(mutex_);
  if (slots_.contains(key)) {
    return;
  }
  while (used_ + bytes->size() > share_ && !ages_.empty()) {
    const auto oldest = slots_.find(ages_.back());
    used_ -= oldest->second.Bytes->size();
    slots_.erase(oldest);
    ages_.pop_back();
  }
  ages_.push_front(key);
  slots_.emplace(key, Slot{bytes, ages_.begin()});
  used_ += bytes->size();
}

void TEntryCache::Forget(std::uint64_t owner) {
  // Declared before the lock, so the bytes are let go after it is released.
  std::vector<TSharedBytes> dropped;
  const std::lock_guard lock(mutex_);
  for (auto it = ages_.begin(); it != ages_.end();) {
    if (it->Owner != owner) {
      ++it;
      continue;
    }
    const auto slot = slots_.find(*it);
    used_ -= slot->second.Bytes->size();
    dropped.push_back(std::move(slot->second.Bytes));
    slots_.erase(slot);
    it = ages_.erase(it);
  }
}

}  // namespace tomelet::serve
