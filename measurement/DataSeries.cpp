#include "measurement/DataSeries.h"

#include <algorithm>

TDataSeries::~TDataSeries() {
  for (TDataSourceLink* link : links_)
    link->source_ = nullptr;
}

void TDataSeries::AddXY(double x, double y) {
  points_.push_back({x, y});
  // A handler may not add or remove links, so the list stays as it is during the loop.
  for (TDataSourceLink* link : links_)
    link->onPoint_(points_.back());
}

TDataSourceLink::TDataSourceLink(TDataSeries& source, PointHandler onPoint)
    : source_(&source), onPoint_(std::move(onPoint)) {
  source.links_.push_back(this);
}

TDataSourceLink::~TDataSourceLink() {
  if (source_) std::erase(source_->links_, this);
}
