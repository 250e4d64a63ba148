#include "search/DefinitionSource.h"

#include <algorithm>

namespace tomelet::search {

TDefinitionSource::TDefinitionSource(std::vector<Xapian::docid> documents,
                                     std::vector<double> weights)
    : documents_(std::move(documents)), weights_(std::move(weights)) {}

Xapian::doccount TDefinitionSource::get_termfreq_min() const {
  return static_cast<Xapian::doccount>(documents_.size());
}

Xapian::doccount TDefinitionSource::get_termfreq_est() const {
  return get_termfreq_min();
}

Xapian::doccount TDefinitionSource::get_termfreq_max() const {
  return get_termfreq_min();
}

// Called again before each search with the source: it starts over.
void TDefinitionSource::init(const Xapian::Database&) {
  position_ = 0;
  started_ = false;
  set_maxweight(weights_.empty() ? 0 : *std::max_element(weights_.begin(), weights_.end()));
}

void TDefinitionSource::next(double) {
  if (started_) {
    ++position_;
  }
  started_ = true;
}

void TDefinitionSource::skip_to(Xapian::docid document, double) {
  started_ = true;
  position_ = static_cast<std::size_t>(
      std::lower_bound(documents_.begin() + static_cast<std::ptrdiff_t>(position_),
                       documents_.end(), document) -
      documents_.begin());
}

bool TDefinitionSource::at_end() const {
  return position_ >= documents_.size();
}

Xapian::docid TDefinitionSource::get_docid() const {
  return documents_[position_];
}

double TDefinitionSource::get_weight() const {
  return weights_[position_];
}

Xapian::PostingSource* TDefinitionSource::clone() const {
  return new TDefinitionSource(documents_, weights_);
}

}  // namespace tomelet::search
