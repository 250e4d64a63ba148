// The lookup keeps two sorted arrays: the folded terms, and every word start inside them. A
// query is then two binary searches plus a scan of what matches, so a key press costs far less
// than a millisecond even for tens of thousands of terms.
#include <algorithm>
#include <array>
#include <unordered_set>

#include "document/DocumentMap.h"
#include "platform/text/Accents.h"
#include "platform/text/AsciiCase.h"

namespace tomelet {
namespace {

constexpr std::array<std::string_view, 5> kTitleSeparators = {" \u2014 ", " \u2013 ", " - ", " | ",
                                                              ": "};

struct TStoredKeyword {
  std::string Folded;
  bool Accented = false;  // the term has letters with accents, folded in Folded
  std::uint32_t Page = 0;
  std::string Term;
  std::string Anchor;
  TKeywordKind Kind = TKeywordKind::Heading;
  std::string Type;
};

struct TWordStart {
  std::uint32_t Keyword;
  std::uint32_t Offset;
};

// Bytes of multi-byte UTF-8 letters count as word characters, so words in any script are kept.
bool IsWordByte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 0x80 || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::string CaseNormalized(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool noBreakSpace = text.substr(i).starts_with("\xC2\xA0");
    i += noBreakSpace ? 1 : 0;
    if (noBreakSpace || c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      if (!out.empty() && out.back() != ' ')
        out += ' ';
    } else {
      out += FoldAsciiLetter(c);
    }
  }
  if (!out.empty() && out.back() == ' ')
    out.pop_back();
  return out;
}

// Letter case and accents folded and runs of white space (the no-break space too) made one
// space, as the query is compared.
std::string Normalized(std::string_view text) {
  return CaseNormalized(FoldAccents(text));
}

std::vector<std::string_view> Words(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end = std::min(text.find(' ', pos), text.size());
    if (end > pos)
      words.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  return words;
}

// Where a word of text begins with word, at or after from; npos when nowhere.
std::size_t FindWordStart(std::string_view text, std::string_view word, std::size_t from) {
  for (std::size_t pos = text.find(word, from); pos != std::string_view::npos;
       pos = text.find(word, pos + 1)) {
    if (pos == 0 || !IsWordByte(text[pos - 1]))
      return pos;
  }
  return std::string_view::npos;
}

bool HasWordsInOrder(std::string_view text, const std::vector<std::string_view>& words) {
  std::size_t pos = 0;
  for (const std::string_view word : words) {
    pos = FindWordStart(text, word, pos);
    if (pos == std::string_view::npos)
      return false;
    pos += word.size();
  }
  return true;
}

// A page title that is the name typed and what it is ("re — Regular expression operations"
// for "re"), or a definition of exactly the name: the module, class or function itself.
bool IsTheNameItself(const TStoredKeyword& keyword, std::string_view wanted) {
  if (keyword.Kind == TKeywordKind::Definition) {
    return keyword.Folded == wanted;
  }
  return keyword.Kind == TKeywordKind::PageTitle && keyword.Folded.starts_with(wanted) &&
         TitleName(std::string_view(keyword.Folded)).size() == wanted.size();
}

int KindRank(TKeywordKind kind) {
  return kind == TKeywordKind::PageTitle ? 0 : kind == TKeywordKind::Definition ? 1 : 2;
}

}  // namespace

struct TKeywordIndex::Impl {
  struct TPage {
    std::string Path;
    std::string Title;
  };
  std::vector<TPage> Pages;
  std::vector<TStoredKeyword> Keywords;  // by folded term
  std::vector<TWordStart> Starts;        // by the folded text from the word on

  std::string_view FromStart(const TWordStart& start) const {
    return std::string_view(Keywords[start.Keyword].Folded).substr(start.Offset);
  }

  TKeyword Public(const TStoredKeyword& stored) const {
    const TPage& page = Pages[stored.Page];
    return {stored.Term, page.Path, stored.Anchor, page.Title, stored.Kind, stored.Type};
  }

  void Store(std::vector<TKeyword> keywords);
  void IndexWordStarts();
  // Adds keywords whose term or a word of it begins with prefix, with the rank they get.
  template <typename Accept>
  void Collect(std::string_view prefix, int termRank, int wordRank, Accept accept) const;
};

void TKeywordIndex::Impl::Store(std::vector<TKeyword> keywords) {
  std::sort(keywords.begin(), keywords.end(), [](const TKeyword& a, const TKeyword& b) {
    return std::tie(a.Page, a.Anchor, a.Term) < std::tie(b.Page, b.Anchor, b.Term);
  });
  keywords.erase(std::unique(keywords.begin(), keywords.end(),
                             [](const TKeyword& a, const TKeyword& b) {
                               return a.Page == b.Page && a.Anchor == b.Anchor && a.Term == b.Term;
                             }),
                 keywords.end());
  for (TKeyword& keyword : keywords) {
    if (Pages.empty() || Pages.back().Path != keyword.Page)
      Pages.push_back({keyword.Page, keyword.PageTitle});
    std::string folded = Normalized(keyword.Term);
    if (folded.empty())
      continue;
    const bool accented = HasAccents(keyword.Term);
    Keywords.push_back({std::move(folded), accented, static_cast<std::uint32_t>(Pages.size() - 1),
                        std::move(keyword.Term), std::move(keyword.Anchor), keyword.Kind,
                        std::move(keyword.Type)});
  }
  std::sort(Keywords.begin(), Keywords.end(),
            [](const TStoredKeyword& a, const TStoredKeyword& b) { return a.Folded < b.Folded; });
}

void TKeywordIndex::Impl::IndexWordStarts() {
  for (std::uint32_t k = 0; k < Keywords.size(); ++k) {
    const std::string& folded = Keywords[k].Folded;
    for (std::uint32_t i = 1; i < folded.size(); ++i) {
      if (IsWordByte(folded[i]) && !IsWordByte(folded[i - 1]))
        Starts.push_back({k, i});
    }
  }
  std::sort(Starts.begin(), Starts.end(), [this](const TWordStart& a, const TWordStart& b) {
    return FromStart(a) < FromStart(b);
  });
}

template <typename Accept>
void TKeywordIndex::Impl::Collect(std::string_view prefix, int termRank, int wordRank,
                                  Accept accept) const {
  auto keyword = std::lower_bound(
      Keywords.begin(), Keywords.end(), prefix,
      [](const TStoredKeyword& k, std::string_view p) { return std::string_view(k.Folded) < p; });
  for (; keyword != Keywords.end() && keyword->Folded.starts_with(prefix); ++keyword)
    accept(static_cast<std::uint32_t>(keyword - Keywords.begin()), termRank);
  auto start = std::lower_bound(
      Starts.begin(), Starts.end(), prefix,
      [this](const TWordStart& s, std::string_view p) { return FromStart(s) < p; });
  for (; start != Starts.end() && FromStart(*start).starts_with(prefix); ++start)
    accept(start->Keyword, wordRank);
}

TKeywordIndex::TKeywordIndex() : impl_(std::make_unique<Impl>()) {}

TKeywordIndex::TKeywordIndex(std::vector<TKeyword> keywords) : impl_(std::make_unique<Impl>()) {
  impl_->Store(std::move(keywords));
  impl_->IndexWordStarts();
}

TKeywordIndex::~TKeywordIndex() = default;
TKeywordIndex::TKeywordIndex(TKeywordIndex&&) noexcept = default;
TKeywordIndex& TKeywordIndex::operator=(TKeywordIndex&&) noexcept = default;

std::vector<TKeyword> TKeywordIndex::Lookup(std::string_view query, std::size_t limit) const {
  const std::string wanted = Normalized(query);
  if (wanted.empty() || limit == 0)
    return {};
  struct TCandidate {
    int Rank;
    // Matched only with accents folded: after the terms written as typed.
    bool Folded;
    std::uint32_t Keyword;
  };
  std::vector<TCandidate> found;
  std::unordered_set<std::uint32_t> seen;
  const auto& keywords = impl_->Keywords;
  const std::string typed = HasAccents(query) ? CaseNormalized(query) : std::string();
  const auto add = [&](std::uint32_t k, int rank) {
    if (!seen.insert(k).second)
      return;
    const TStoredKeyword& keyword = keywords[k];
    const int ranked = IsTheNameItself(keyword, wanted) ? 0 : keyword.Folded == wanted ? 1 : rank;
    const bool folded =
        (keyword.Accented || !typed.empty()) &&
        CaseNormalized(keyword.Term).find(typed.empty() ? wanted : typed) == std::string::npos;
    found.push_back({ranked, folded, k});
  };
  impl_->Collect(wanted, 2, 3, add);
  const auto words = Words(wanted);
  if (words.size() > 1) {
    const std::vector<std::string_view> rest(words.begin() + 1, words.end());
    impl_->Collect(words.front(), 4, 5, [&](std::uint32_t k, int rank) {
      const std::string_view folded = keywords[k].Folded;
      if (!seen.contains(k) && HasWordsInOrder(folded.substr(words.front().size()), rest))
        add(k, rank);
    });
  }
  const auto better = [&](const TCandidate& a, const TCandidate& b) {
    const TStoredKeyword& x = keywords[a.Keyword];
    const TStoredKeyword& y = keywords[b.Keyword];
    return std::tuple(a.Rank, a.Folded, x.Folded.size(), KindRank(x.Kind),
                      std::string_view(x.Folded),
                      a.Keyword) < std::tuple(b.Rank, b.Folded, y.Folded.size(), KindRank(y.Kind),
                                              std::string_view(y.Folded), b.Keyword);
  };
  const std::size_t count = std::min(limit, found.size());
  std::partial_sort(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(count), found.end(),
                    better);
  std::vector<TKeyword> matches;
  for (std::size_t i = 0; i < count; ++i)
    matches.push_back(impl_->Public(keywords[found[i].Keyword]));
  return matches;
}

std::size_t TKeywordIndex::Size() const {
  return impl_->Keywords.size();
}

std::vector<TKeyword> TKeywordIndex::All() const {
  std::vector<TKeyword> all;
  all.reserve(impl_->Keywords.size());
  for (const TStoredKeyword& keyword : impl_->Keywords)
    all.push_back(impl_->Public(keyword));
  return all;
}

std::string_view TitleName(std::string_view title) {
  std::size_t separator = title.size();
  for (const std::string_view mark : kTitleSeparators) {
    separator = std::min(separator, title.find(mark));
  }
  return title.substr(0, separator);
}

}  // namespace tomelet
