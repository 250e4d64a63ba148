// Counts stored as the weight BM25 gives them rank as BM25 ranks the counts with the sections'
// lengths: an index of either kind gives the same hits, and a library merges their scores.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "search/IndexFormat.h"
#include "search/SectionWeight.h"

namespace tomelet::search {
namespace {

// No coded weight is further than half a step from the weight coded.
constexpr double kHalfStep = 1.0 / 127;

double Bm25CountWeight(double count, double length, double averageLength) {
  const double lengthFactor = 0.5 + 0.5 * std::max(length / averageLength, 0.5);
  return 2 * count / (lengthFactor + count);
}

TEST(CountCodeTest, EachCodeIsWithinHalfAStepOfTheWeightAndInAByte) {
  constexpr double kAverage = 80;
  Xapian::termcount before = 0;
  for (const double length : {1.0, 20.0, 80.0, 400.0, 8000.0, 1e7}) {
    for (const Xapian::termcount count : {1u, 2u, 3u, 7u, 40u, 1000u, 4000000000u}) {
      const Xapian::termcount code = format::CountCode(count, length, kAverage);
      EXPECT_GE(code, 1u) << count << " in " << length;
      EXPECT_LE(code, 127u) << count << " in " << length;
      const double weight = Bm25CountWeight(count, length, kAverage);
      // The least code stands for every weight below it: a posting never weighs nothing.
      EXPECT_NEAR(format::CodedWeight(code), std::max(weight, 2 * kHalfStep), kHalfStep)
          << count << " in " << length;
    }
    // Shorter sections give a word more weight, never less.
    const Xapian::termcount once = format::CountCode(1, length, kAverage);
    if (before != 0) {
      EXPECT_LE(once, before) << length;
    }
    before = once;
  }
  // A damaged index's count beyond the codes weighs as the greatest.
  EXPECT_EQ(format::CodedWeight(100000), format::CodedWeight(127));
  EXPECT_EQ(format::CodedWeight(0), 0);
}

// Sections of lengths from a few words to thousands, over words of every frequency.
struct TCorpus {
  std::vector<Xapian::Document> Sections;
  double AverageLength = 0;
};

TCorpus SectionsOfEveryLength() {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> length(2, 3000);
  // Word k is drawn about 1 / k as often as the first.
  std::vector<double> weights;
  for (int word = 1; word <= 400; ++word) {
    weights.push_back(1.0 / word);
  }
  std::discrete_distribution<int> word(weights.begin(), weights.end());
  TCorpus corpus;
  std::uint64_t total = 0;
  for (int section = 0; section < 300; ++section) {
    Xapian::Document document;
    const int words = section % 10 == 0 ? length(random) : length(random) / 30 + 2;
    for (int i = 0; i < words; ++i) {
      document.add_term("w" + std::to_string(word(random)));
    }
    total += static_cast<std::uint64_t>(words);
    corpus.Sections.push_back(document);
  }
  corpus.AverageLength = static_cast<double>(total) / static_cast<double>(corpus.Sections.size());
  return corpus;
}

std::map<Xapian::docid, double> Scores(const Xapian::Database& database,
                                       const Xapian::Weight& weight, const Xapian::Query& query,
                                       Xapian::doccount wanted) {
  Xapian::Enquire enquire(database);
  enquire.set_weighting_scheme(weight);
  enquire.set_query(query);
  std::map<Xapian::docid, double> scores;
  const Xapian::MSet matches = enquire.get_mset(0, wanted);
  for (auto match = matches.begin(); match != matches.end(); ++match) {
    scores[*match] = match.get_weight();
  }
  return scores;
}

TEST(SectionWeightTest, CodedCountsScoreAsBm25ScoresTheCountsWithTheSectionsLengths) {
  const TCorpus corpus = SectionsOfEveryLength();
  Xapian::WritableDatabase counted(std::string(), Xapian::DB_BACKEND_INMEMORY);
  Xapian::WritableDatabase coded(std::string(), Xapian::DB_BACKEND_INMEMORY);
  for (const auto& section : corpus.Sections) {
    counted.add_document(section);
    coded.add_document(
        format::WeighedDocument(format::CountedTerms(section), corpus.AverageLength));
  }
  const auto word = [](int k) { return Xapian::Query("w" + std::to_string(k)); };
  const std::vector<std::pair<std::string, Xapian::Query>> queries = {
      {"common", word(1)},
      {"rare", word(390)},
      {"two, either", Xapian::Query(Xapian::Query::OP_OR, word(3), word(150))},
      {"two, both", Xapian::Query(Xapian::Query::OP_AND, word(2), word(40))},
      {"typed twice", Xapian::Query(Xapian::Query::OP_OR, Xapian::Query("w5", 2), word(60))},
      {"scaled", Xapian::Query(Xapian::Query::OP_SCALE_WEIGHT, word(8), 2.0)},
  };
  const Xapian::doccount all = counted.get_doccount();
  for (const auto& [name, query] : queries) {
    const auto expected = Scores(counted, Xapian::BM25Weight(), query, all);
    const auto scores = Scores(coded, TSectionWeight(), query, all);
    ASSERT_EQ(scores.size(), expected.size()) << name;
    for (const auto& [section, score] : expected) {
      ASSERT_TRUE(scores.contains(section)) << name;
      // Each part is off by half a step at most, the least of them here about 0.2.
      EXPECT_NEAR(scores.at(section), score, 0.04 * score) << name << ", section " << section;
    }
    // Xapian skips what cannot reach the best few by each term's greatest part: none is lost.
    const auto best = Scores(coded, TSectionWeight(), query, 3);
    std::vector<double> top;
    top.reserve(scores.size());
    for (const auto& [section, score] : scores) {
      top.push_back(score);
    }
    std::sort(top.rbegin(), top.rend());
    for (const auto& [section, score] : best) {
      EXPECT_GE(score, top.at(std::min<std::size_t>(2, top.size() - 1)) - 1e-9) << name;
    }
    EXPECT_EQ(best.size(), std::min<std::size_t>(3, scores.size())) << name;
  }
}

}  // namespace
}  // namespace tomelet::search
