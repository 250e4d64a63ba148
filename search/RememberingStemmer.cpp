#include "search/RememberingStemmer.h"

#include <map>
#include <unordered_map>

namespace tomelet::search {
namespace {

std::unordered_map<std::string, std::string>& ThreadStems(const std::string& language) {
  thread_local std::map<std::string, std::unordered_map<std::string, std::string>, std::less<>>
      byLanguage;
  return byLanguage[language];
}

}  // namespace

TRememberingStemmer::TRememberingStemmer(std::string language, Xapian::Stem stemmer,
                                         std::size_t mostStems)
    : language_(std::move(language)), stemmer_(std::move(stemmer)), mostStems_(mostStems) {}

std::string TRememberingStemmer::operator()(const std::string& word) {
  auto& stems = ThreadStems(language_);
  const auto found = stems.find(word);
  if (found != stems.end()) {
    return found->second;
  }
  if (stems.size() >= mostStems_) {
    stems.clear();
  }
  return stems.emplace(word, stemmer_(word)).first->second;
}

}  // namespace tomelet::search
