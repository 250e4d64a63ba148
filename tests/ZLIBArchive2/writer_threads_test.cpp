#include <random>

#include "ArchiveFixtures.h"

namespace tomelet::test {
namespace {

struct SampleEntry {
  std::string Name;
  std::string Contents;
  TFileCompressionLevel Level;
};

std::string Noise(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string text(size, '\0');
  for (char& c : text) {
    c = static_cast<char>(random() & 0xFF);
  }
  return text;
}

// Entries of every kind the writer decides between: deflated at each level, too random to
// shrink, too short to shrink, empty, and stored on request.
std::vector<SampleEntry> MixedEntries() {
  std::vector<SampleEntry> entries;
  const TFileCompressionLevel levels[] = {fcFastest, fcDefault, fcMaximum};
  for (unsigned i = 0; i < 40; ++i) {
    entries.push_back({"pages\\p" + std::to_string(i) + ".htm",
                       SampleText(1000 + 3000 * (i % 7), i), levels[i % 3]});
  }
  entries.push_back({"images\\noise.bin", Noise(200000, 7), fcDefault});
  entries.push_back({"one.txt", "x", fcDefault});
  entries.push_back({"empty.txt", "", fcMaximum});
  entries.push_back({"stored.txt", SampleText(5000, 3), fcNone});
  entries.push_back({"big.txt", SampleText(3'000'000, 11), fcDefault});
  return entries;
}

// handOver: each entry's contents are given up to the writer rather than lent.
Bytes Pack(const std::vector<SampleEntry>& entries, unsigned threads, bool handOver = false) {
  TZLBArchiveWriter writer({.Threads = threads});
  for (const auto& entry : entries) {
    if (handOver) {
      const auto bytes = AsBytes(entry.Contents);
      writer.AddEntry(entry.Name, std::vector<std::byte>(bytes.begin(), bytes.end()), entry.Level);
    } else {
      writer.AddEntry(entry.Name, entry.Contents, entry.Level);
    }
  }
  return writer.Bytes();
}

TEST(WriterThreads, SameEntriesGiveTheSameBytesWhateverTheThreadCount) {
  const auto entries = MixedEntries();
  const Bytes alone = Pack(entries, 1);
  for (const unsigned threads : {2u, 3u, 8u}) {
    EXPECT_EQ(Pack(entries, threads), alone) << threads << " threads";
  }
  EXPECT_EQ(Pack(entries, 2, true), alone) << "contents handed over";
}

TEST_F(ArchiveTest, EveryEntryReadsBackByteForByteAfterDeflatingOnThreads) {
  const auto entries = MixedEntries();
  TZLBArchiveWriter writer({.Threads = 2});
  for (const auto& entry : entries) {
    writer.AddEntry(entry.Name, entry.Contents, entry.Level);
  }
  EXPECT_EQ(writer.EntryCount(), entries.size());
  ASSERT_TRUE(arc_.OpenArchive(WriteArchive(writer)));
  for (int i = 0; i < arc_.EntryCount(); ++i) {
    const auto& expected = entries[static_cast<std::size_t>(i)];
    const TArchiveEntry& entry = arc_.GetEntry(i);
    const bool shrinks = expected.Level != fcNone && expected.Contents.size() > 100 &&
                         expected.Name != "images\\noise.bin";
    EXPECT_EQ(entry.Method, shrinks ? kMethodDeflated : kMethodStored) << expected.Name;
    EXPECT_EQ(entry.Level, shrinks ? expected.Level : fcNone) << expected.Name;
    EXPECT_EQ(Extract(expected.Name), expected.Contents) << expected.Name;
  }
  EXPECT_LT(arc_.GetEntry(static_cast<int>(entries.size()) - 1).CompressedSize, 3'000'000 / 10);
}

TEST(WriterThreads, ANameThatCannotBeStoredIsRefusedAtOnce) {
  TZLBArchiveWriter writer({.Threads = 2});
  writer.AddEntry("a.txt", SampleText(10000));
  EXPECT_THROW(writer.AddEntry(std::string(300, 'n'), SampleText(10000)), std::exception);
  EXPECT_EQ(writer.EntryCount(), 1u);
}

}  // namespace
}  // namespace tomelet::test
