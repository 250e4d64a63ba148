// The sections defining a name, as a query part: matches exactly the documents given, each with
// a weight of its own.
#pragma once

#include <xapian.h>

#include <vector>

namespace tomelet::search {

class TDefinitionSource : public Xapian::PostingSource {
 public:
  // documents ascending, without repeats; weights in the same order.
  TDefinitionSource(std::vector<Xapian::docid> documents, std::vector<double> weights);

  Xapian::doccount get_termfreq_min() const override;
  Xapian::doccount get_termfreq_est() const override;
  Xapian::doccount get_termfreq_max() const override;
  void init(const Xapian::Database& database) override;
  void next(double minimumWeight) override;
  void skip_to(Xapian::docid document, double minimumWeight) override;
  bool at_end() const override;
  Xapian::docid get_docid() const override;
  double get_weight() const override;
  Xapian::PostingSource* clone() const override;

 private:
  std::vector<Xapian::docid> documents_;
  std::vector<double> weights_;
  std::size_t position_ = 0;
  bool started_ = false;
};

}  // namespace tomelet::search
