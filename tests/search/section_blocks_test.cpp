#include <gtest/gtest.h>

#include "ZLIBArchive2/Codec.h"
#include "search/IndexFormat.h"
#include "search/SectionBlockCache.h"
#include "tests/search/SearchFixtures.h"

namespace tomelet::search::testing {
namespace {

std::string RefusalOf(std::string_view bytes) {
  try {
    format::TSectionBlock block(bytes, kIndexFormatVersion);
  } catch (const ESearchIndexError& e) {
    return e.what();
  }
  return "accepted";
}

std::vector<format::TSectionRecord> Records(std::size_t count) {
  std::vector<format::TSectionRecord> records;
  for (std::size_t i = 0; i < count; ++i) {
    if (i % 2 == 0) {
      records.push_back({i * 7, i % 3 == 0 ? "" : "id" + std::to_string(i),
                         std::string(i % 250, 'x') + " section " + std::to_string(i)});
    } else {
      records.push_back({i, "id" + std::to_string(i), {}, i << 40, i * 1000});
    }
  }
  return records;
}

TEST(SectionBlockTest, EachSlotGivesItsRecordAndADamagedBlockIsRefused) {
  const auto records = Records(format::kSectionsPerBlock);
  const std::string bytes = format::EncodeSectionBlock(records);
  const format::TSectionBlock block(bytes, kIndexFormatVersion);
  for (std::size_t slot = 0; slot < records.size(); ++slot) {
    const auto record = block.Record(slot);
    EXPECT_EQ(record.Page, records[slot].Page);
    EXPECT_EQ(record.Anchor, records[slot].Anchor);
    EXPECT_EQ(record.Text, records[slot].Text);
    EXPECT_EQ(record.LeadStart, records[slot].LeadStart);
    EXPECT_EQ(record.LeadSize, records[slot].LeadSize);
  }
  EXPECT_THROW(block.Record(records.size()), ESearchIndexError);

  // The plain size comes first (two bytes of varint here), then the deflated records.
  ASSERT_GE(static_cast<unsigned char>(bytes[0]), 0x80);
  auto longer = bytes;
  ++longer[0];
  auto shorter = bytes;
  --shorter[0];
  auto flipped = bytes;
  flipped[bytes.size() / 2] ^= 0x5a;
  for (const std::string& damaged :
       {longer, shorter, flipped, bytes.substr(0, bytes.size() - 1), std::string{}}) {
    EXPECT_EQ(RefusalOf(damaged), kDamagedIndexMessage);
  }
  EXPECT_EQ(RefusalOf(format::EncodeSectionBlock(Records(format::kSectionsPerBlock + 1))),
            kDamagedIndexMessage);
}

// Indexes written before lead ranges keep every record's text, and no range after it.
TEST(SectionBlockTest, ABlockWrittenBeforeLeadRangesIsReadAsThen) {
  std::string plain(1, '\x02');
  plain += format::EncodeSection({3, "first", "Some text"});
  plain += format::EncodeSection({4, "", "More"});
  const auto stream = codec::Deflate(std::as_bytes(std::span(plain)), codec::kUsual);
  const std::string bytes =
      std::string(1, static_cast<char>(plain.size())) +
      std::string(reinterpret_cast<const char*>(stream.data()), stream.size());
  const format::TSectionBlock block(bytes, format::kLeadRangeVersion - 1);
  EXPECT_EQ(block.Record(0).Anchor, "first");
  EXPECT_EQ(block.Record(0).Text, "Some text");
  EXPECT_EQ(block.Record(1).Page, 4U);
  EXPECT_EQ(block.Record(1).Text, "More");
  EXPECT_EQ(block.Record(1).LeadSize, 0U);
}

TSectionBlockCache::TShared BlockOf(const std::string& text) {
  return std::make_shared<const format::TSectionBlock>(format::EncodeSectionBlock({{0, "", text}}),
                                                       kIndexFormatVersion);
}

TEST(SectionBlockCacheTest, StaysWithinItsBoundDroppingTheLeastRecentlyUsed) {
  const auto size = BlockOf("a")->Bytes();
  TSectionBlockCache cache(3 * size);
  for (const std::uint64_t block : {1, 2, 3}) {
    cache.Keep({1, 0, block}, BlockOf(std::to_string(block)));
  }
  ASSERT_NE(cache.Find({1, 0, 1}), nullptr);
  cache.Keep({1, 0, 4}, BlockOf("4"));
  EXPECT_EQ(cache.Find({1, 0, 2}), nullptr);
  for (const std::uint64_t block : {1, 3, 4}) {
    ASSERT_NE(cache.Find({1, 0, block}), nullptr);
    EXPECT_EQ(cache.Find({1, 0, block})->Record(0).Text, std::to_string(block));
  }
  EXPECT_EQ(cache.Bytes(), 3 * size);

  // A block read by two threads at once is kept once; one larger than the bound is not kept.
  const auto first = cache.Find({1, 0, 4});
  EXPECT_EQ(cache.Keep({1, 0, 4}, BlockOf("4")), first);
  const auto large = BlockOf(std::string(4 * size, 'x'));
  EXPECT_EQ(cache.Keep({1, 0, 5}, large), large);
  EXPECT_EQ(cache.Find({1, 0, 5}), nullptr);
  EXPECT_EQ(cache.Bytes(), 3 * size);

  cache.Keep({2, 0, 1}, BlockOf("other"));
  cache.Drop(1);
  EXPECT_EQ(cache.Bytes(), size);
  EXPECT_EQ(cache.Find({2, 0, 1})->Record(0).Text, "other");
}

// A window bounds the cache anew: the least recent blocks go at once, and later ones stay within.
TEST(SectionBlockCacheTest, ANewBoundDropsTheLeastRecentAtOnceAndHoldsAfterwards) {
  const auto size = BlockOf("a")->Bytes();
  TSectionBlockCache cache(4 * size);
  for (const std::uint64_t block : {1, 2, 3, 4}) {
    cache.Keep({1, 0, block}, BlockOf(std::to_string(block)));
  }
  ASSERT_NE(cache.Find({1, 0, 1}), nullptr);
  cache.Bound(2 * size);
  EXPECT_EQ(cache.Bytes(), 2 * size);
  EXPECT_NE(cache.Find({1, 0, 1}), nullptr);
  EXPECT_NE(cache.Find({1, 0, 4}), nullptr);
  EXPECT_EQ(cache.Find({1, 0, 2}), nullptr);
  cache.Keep({1, 0, 5}, BlockOf("5"));
  EXPECT_EQ(cache.Bytes(), 2 * size);
  EXPECT_EQ(cache.Find({1, 0, 1}), nullptr);
}

TPages PagesSaying(const std::string& word) {
  TPages pages;
  for (int i = 0; i < 3; ++i) {
    pages.emplace_back(word + std::to_string(i) + ".html",
                       Page(word, "<h1 id='" + word + "'>Common heading</h1><p>Common words " +
                                      word + " " + std::to_string(i) + ".</p>"));
  }
  return pages;
}

// Indexes of the same shape have blocks of the same shares and numbers: one index, open beside
// another or opened after another closed, must never be answered from the other's blocks.
TEST(SectionBlockCacheTest, EachIndexReadsItsOwnRecords) {
  std::vector<std::unique_ptr<TIndexFile>> files;
  std::vector<std::unique_ptr<TSearchIndex>> indexes;
  const std::vector<std::string> words = {"alpha", "beta", "gamma", "delta"};
  for (const auto& word : words) {
    files.push_back(std::make_unique<TIndexFile>(PagesSaying(word)));
    indexes.push_back(files.back()->Open());
  }
  indexes[1].reset();
  indexes[1] = files[1]->Open();
  for (int round = 0; round < 2; ++round) {
    for (std::size_t i = 0; i < words.size(); ++i) {
      const auto results = indexes[i]->Search("common words", 0, 10);
      ASSERT_EQ(results.Hits.size(), 3u);
      for (const auto& hit : results.Hits) {
        EXPECT_EQ(hit.Anchor, words[i]);
        EXPECT_TRUE(hit.Path.starts_with(words[i])) << hit.Path;
        EXPECT_NE(hit.Snippet.find(words[i]), std::string::npos) << hit.Snippet;
      }
    }
    indexes[2].reset();
    files[2] = std::make_unique<TIndexFile>(PagesSaying("gamma"));
    indexes[2] = files[2]->Open();
  }
}

}  // namespace
}  // namespace tomelet::search::testing
