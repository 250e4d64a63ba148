#include "search/SectionWeight.h"

#include <cmath>

#include "search/IndexFormat.h"

namespace tomelet::search {

double TermIdf(double termFrequency, double sections) {
  double ratio = (sections - termFrequency + 0.5) / (termFrequency + 0.5);
  if (ratio < 2) {
    ratio = ratio * 0.5 + 1;
  }
  return std::log(ratio);
}

TSectionWeight::TSectionWeight() {
  need_stat(COLLECTION_SIZE);
  need_stat(TERMFREQ);
  need_stat(WQF);
  need_stat(WDF);
  need_stat(WDF_MAX);
}

std::string TSectionWeight::name() const {
  return "tomelet::search::TSectionWeight";
}

TSectionWeight* TSectionWeight::clone() const {
  return new TSectionWeight;
}

void TSectionWeight::init(double factor) {
  // A term typed more than once weighs up to twice as much (BM25's k3 = 1).
  const double typed = get_wqf();
  termWeight_ = TermIdf(get_termfreq(), get_collection_size()) * factor * 2 * typed / (1 + typed);
}

double TSectionWeight::get_sumpart(Xapian::termcount wdf, Xapian::termcount /*doclen*/,
                                   Xapian::termcount /*uniqterms*/) const {
  return termWeight_ * format::CodedWeight(wdf);
}

double TSectionWeight::get_maxpart() const {
  return termWeight_ * format::CodedWeight(get_wdf_upper_bound());
}

double TSectionWeight::get_sumextra(Xapian::termcount /*doclen*/,
                                    Xapian::termcount /*uniqterms*/) const {
  return 0;
}

double TSectionWeight::get_maxextra() const {
  return 0;
}

}  // namespace tomelet::search
