#include "station/fixture.h"

#include <algorithm>

namespace station {

double InterpolatedLossDb(const std::vector<LossPoint> &points, double frequencyHz) {
  if (points.empty()) return 0.0;
  if (frequencyHz <= points.front().frequencyHz) return points.front().lossDb;
  if (frequencyHz >= points.back().frequencyHz) return points.back().lossDb;
  // below.frequencyHz <= frequencyHz < above.frequencyHz, so never a division by 0.
  const auto above = std::upper_bound(points.begin(), points.end(), frequencyHz,
                                      [](double hz, const LossPoint &p) { return hz < p.frequencyHz; });
  const LossPoint &below = *(above - 1);
  const double share = (frequencyHz - below.frequencyHz) / (above->frequencyHz - below.frequencyHz);
  return below.lossDb + share * (above->lossDb - below.lossDb);
}

namespace {

// In kHz, so that every carrier is a whole number and the table's
// frequencies come out exactly.
long UplinkKhz(int bandCode, int channel) {
  switch (bandCode) {
    case 1:
      if (channel >= 0 && channel <= 124) return 890000 + 200L * channel;
      if (channel >= 975 && channel <= 1023) return 890000 + 200L * (channel - 1024);
      return 0;
    case 2: return channel >= 512 && channel <= 885 ? 1710200 + 200L * (channel - 512) : 0;
    case 3: return channel >= 512 && channel <= 810 ? 1850200 + 200L * (channel - 512) : 0;
    case 4: return channel >= 128 && channel <= 251 ? 824200 + 200L * (channel - 128) : 0;
  }
  return 0;
}

long DuplexKhz(int bandCode) {
  switch (bandCode) {
    case 2: return 95000;
    case 3: return 80000;
  }
  return 45000;
}

}  // namespace

double UplinkHz(int bandCode, int channel) { return 1000.0 * static_cast<double>(UplinkKhz(bandCode, channel)); }

double DownlinkHz(int bandCode, int channel) {
  const long uplink = UplinkKhz(bandCode, channel);
  return uplink == 0 ? 0.0 : 1000.0 * static_cast<double>(uplink + DuplexKhz(bandCode));
}

std::vector<LossPoint> Fixture::AsBuilt() {
  std::vector<LossPoint> points;
  for (std::size_t k = 0; k < kLossLines; ++k) points.push_back({kLossTableHz[k], kFixtureLossDb[k]});
  return points;
}

double Fixture::lossDb(double frequencyHz) const {
  double loss = InterpolatedLossDb(loss_, frequencyHz);
  for (const Drift &d : drifts_) {
    if (frequencyHz >= d.fromHz && frequencyHz < d.toHz) loss += d.db;
  }
  return loss;
}

void Fixture::addDrift(double fromHz, double toHz, double db) { drifts_.push_back({fromHz, toHz, db}); }

}  // namespace station
