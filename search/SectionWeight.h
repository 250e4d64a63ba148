// The weight of a query's term in a section of an index whose counts are stored as the weight
// BM25 gives them (format::kWeighedCountsVersion): BM25's, read from the count's code rather
// than worked out from the count and the section's length, which a search then never reads.
#pragma once

#include <xapian.h>

#include <string>

namespace tomelet::search {

// The inverse document frequency BM25 gives a term in `termFrequency` of `sections` (Xapian's,
// kept positive for a term in most sections).
double TermIdf(double termFrequency, double sections);

class TSectionWeight : public Xapian::Weight {
 public:
  TSectionWeight();

  std::string name() const override;
  TSectionWeight* clone() const override;
  void init(double factor) override;
  double get_sumpart(Xapian::termcount wdf, Xapian::termcount doclen,
                     Xapian::termcount uniqterms) const override;
  double get_maxpart() const override;
  double get_sumextra(Xapian::termcount doclen, Xapian::termcount uniqterms) const override;
  double get_maxextra() const override;

 private:
  double termWeight_ = 0;
};

}  // namespace tomelet::search
