#include "search/SectionTerms.h"

#include "platform/text/Accents.h"
#include "search/IndexFormat.h"
#include "search/RememberingStemmer.h"
#include "search/Snippet.h"

namespace tomelet::search {
namespace {

constexpr Xapian::termcount kTitleWeight = 3;
constexpr Xapian::termcount kHeadingWeight = 4;
// Words repeat throughout a manual, and stemming each anew was a twentieth of the indexing time.
constexpr std::size_t kMostStemsRememberedWhileIndexing = 200000;

std::string PageTitle(const TPageText& page, const std::string& archivePath) {
  if (!page.Title.empty()) {
    return page.Title;
  }
  for (const auto& section : page.Sections) {
    if (!section.Heading.empty()) {
      return section.Heading;
    }
  }
  return archivePath.substr(archivePath.rfind('\\') + 1);
}

}  // namespace

TSectionTerms::TSectionTerms(const std::string& language)
    : stemmer_(new TRememberingStemmer(language, format::MakeStemmer(language),
                                       kMostStemsRememberedWhileIndexing)) {
  generator_.set_stemmer(stemmer_);
  // Stemmed forms only: unstemmed copies of every word would double the postings.
  generator_.set_stemming_strategy(Xapian::TermGenerator::STEM_ALL_Z);
  generator_.set_flags(Xapian::TermGenerator::FLAG_CJK_NGRAM);
  cjkGenerator_.set_flags(Xapian::TermGenerator::FLAG_CJK_NGRAM);
  cjkGenerator_.set_stemming_strategy(Xapian::TermGenerator::STEM_NONE);
  if (const Xapian::Stopper* stopper = format::SharedStopper(language)) {
    generator_.set_stopper(stopper);
    generator_.set_stopper_strategy(Xapian::TermGenerator::STOP_ALL);
  }
}

TTermedPage TSectionTerms::Terms(TPageText page, const std::string& archivePath) {
  TTermedPage termed{std::move(page), {}, {}, {}};
  termed.Title = PageTitle(termed.Text, archivePath);
  // The title's words go into every section: read once, copied with their weights.
  TPageTitle title{termed.Title, {}};
  generator_.set_document(title.Terms);
  generator_.index_text_without_positions(title.Text,
                                          termed.Text.IsGeneratedIndex ? 1 : kTitleWeight);
  bool first = true;
  for (const auto& section : termed.Text.Sections) {
    auto document = SectionDocument(title, section, termed.Text.IsGeneratedIndex, first);
    if (document && !termed.Text.IsGeneratedIndex) {
      AddFoldedTerms(*document, title, section, termed.FoldedApart);
    }
    termed.Sections.push_back(document ? std::optional(format::CountedTerms(*document))
                                       : std::nullopt);
    first = false;
    if (termed.Text.IsGeneratedIndex) {
      break;
    }
  }
  return termed;
}

std::optional<Xapian::Document> TSectionTerms::SectionDocument(const TPageTitle& title,
                                                               const TPageSection& section,
                                                               bool generated, bool first) {
  if (section.Heading.empty() && section.Text.empty() && section.Ids.empty()) {
    return std::nullopt;
  }
  Xapian::Document document;
  for (auto term = title.Terms.termlist_begin(); term != title.Terms.termlist_end(); ++term) {
    document.add_term(*term, term.get_wdf());
  }
  if (generated) {
    return document;
  }
  generator_.set_document(document);
  if (first) {
    generator_.index_text_without_positions(title.Text, 1, std::string(format::kTitlePrefix));
  }
  generator_.index_text_without_positions(section.Heading, kHeadingWeight);
  generator_.index_text_without_positions(section.Text);
  if (HasCjk(section.Heading) || HasCjk(section.Text)) {
    cjkGenerator_.set_document(document);
    cjkGenerator_.index_text_without_positions(section.Heading, kHeadingWeight);
    cjkGenerator_.index_text_without_positions(section.Text);
  }
  return document;
}

// Words with accents are found typed without them too ("resume" finds "résumé"): a section
// that has any gets the folded forms that it lacks as written, under a prefix of its own, so
// that the form typed still ranks first. A folded form it has as written is found as written,
// and adding it again would only make the section look twice as long to the ranking.
void TSectionTerms::AddFoldedTerms(Xapian::Document& document, const TPageTitle& title,
                                   const TPageSection& section,
                                   std::set<std::string>& foldedApart) {
  if (!HasAccents(title.Text) && !HasAccents(section.Heading) && !HasAccents(section.Text)) {
    return;
  }
  Xapian::Document folded;
  const std::string prefix(format::kFoldedPrefix);
  generator_.set_document(folded);
  generator_.index_text_without_positions(FoldAccents(title.Text), kTitleWeight, prefix);
  generator_.index_text_without_positions(FoldAccents(section.Heading), kHeadingWeight, prefix);
  generator_.index_text_without_positions(FoldAccents(section.Text), 1, prefix);
  for (auto term = folded.termlist_begin(); term != folded.termlist_end(); ++term) {
    const std::string form = *term;
    const std::string written = format::WrittenForm(form);
    auto found = document.termlist_begin();
    found.skip_to(written);
    if (found == document.termlist_end() || *found != written) {
      document.add_term(form, term.get_wdf());
      if (form.starts_with(format::kStemmedFoldedPrefix)) {
        foldedApart.insert(form.substr(format::kStemmedFoldedPrefix.size()));
      }
    }
  }
}

}  // namespace tomelet::search
