#include "correction/filter_fit.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace {

constexpr std::size_t kParamsPerFilter = 3;  // log frequency, gain, log Q

// Replaces gains with the filter's gain in dB at every point of target.
void GainCurve(const PeakingFilter& filter, const FitTarget& target, std::span<double> gains) {
  const BiquadCoefficients section = DesignPeaking(filter);
  for (std::size_t i = 0; i < gains.size(); ++i) {
    gains[i] = 10.0 * std::log10(std::norm(ResponseAt(section, target.unitDelays[i])));
  }
}

PeakingFilter FilterFromParams(std::span<const double> params, std::size_t k) {
  const std::size_t at = k * kParamsPerFilter;
  return {std::exp(params[at]), params[at + 1], std::exp(params[at + 2])};
}

// The filters' gain curves (one row of points per filter) and the residual
// excess + summed gain at params; returns the sum of squared residuals.
double Evaluate(std::span<const double> params, const FitTarget& target,
                std::vector<double>& curves, std::vector<double>& residual) {
  const std::size_t points = target.excessDb.size();
  const std::size_t filters = params.size() / kParamsPerFilter;
  curves.resize(filters * points);
  residual.assign(target.excessDb.begin(), target.excessDb.end());
  for (std::size_t k = 0; k < filters; ++k) {
    const std::span<double> row(curves.data() + k * points, points);
    GainCurve(FilterFromParams(params, k), target, row);
    for (std::size_t i = 0; i < points; ++i) {
      residual[i] += row[i];
    }
  }
  double cost = 0.0;
  for (const double r : residual) {
    cost += r * r;
  }
  return cost;
}

// Solves m x = v in place (v becomes x) for a symmetric positive definite m,
// n by n in row order, by Cholesky; false when m is not positive definite.
bool SolveSymmetric(std::vector<double> m, std::vector<double>& v, std::size_t n) {
  for (std::size_t j = 0; j < n; ++j) {
    double d = m[j * n + j];
    for (std::size_t k = 0; k < j; ++k) {
      d -= m[j * n + k] * m[j * n + k];
    }
    if (!(d > 0.0)) {
      return false;
    }
    m[j * n + j] = std::sqrt(d);
    for (std::size_t i = j + 1; i < n; ++i) {
      double s = m[i * n + j];
      for (std::size_t k = 0; k < j; ++k) {
        s -= m[i * n + k] * m[j * n + k];
      }
      m[i * n + j] = s / m[j * n + j];
    }
  }
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t k = 0; k < i; ++k) {
      v[i] -= m[i * n + k] * v[k];
    }
    v[i] /= m[i * n + i];
  }
  for (std::size_t i = n; i-- > 0;) {
    for (std::size_t k = i + 1; k < n; ++k) {
      v[i] -= m[k * n + i] * v[k];
    }
    v[i] /= m[i * n + i];
  }
  return true;
}

}  // namespace

double FitCost(std::span<const PeakingFilter> filters, const FitTarget& target) {
  std::vector<double> params;
  for (const PeakingFilter& f : filters) {
    params.insert(params.end(), {std::log(f.hz), f.gainDb, std::log(f.q)});
  }
  std::vector<double> curves;
  std::vector<double> residual;
  return Evaluate(params, target, curves, residual);
}

void RefineFilters(std::span<PeakingFilter> filters, const FitTarget& target,
                   const FitLimits& limits, int maxSteps) {
  const std::size_t points = target.excessDb.size();
  const std::size_t unknowns = filters.size() * kParamsPerFilter;
  if (unknowns == 0 || points == 0) {
    return;
  }

  std::vector<double> params;
  std::vector<double> lower;
  std::vector<double> upper;
  for (const PeakingFilter& f : filters) {
    params.insert(params.end(), {std::log(f.hz), f.gainDb, std::log(f.q)});
    lower.insert(lower.end(), {std::log(limits.lowHz), limits.minGainDb, std::log(limits.minQ)});
    upper.insert(upper.end(), {std::log(limits.highHz), limits.maxGainDb, std::log(limits.maxQ)});
  }

  std::vector<double> curves;
  std::vector<double> residual;
  double cost = Evaluate(params, target, curves, residual);
  std::vector<double> jacobian(points * unknowns);  // point-major
  std::vector<double> column(points);
  std::vector<double> normal(unknowns * unknowns);
  std::vector<double> gradient(unknowns);
  std::vector<double> trial(unknowns);
  std::vector<double> trialCurves;
  std::vector<double> trialResidual;
  double damping = 1e-3;
  bool converged = false;

  for (int step = 0; step < maxSteps && !converged; ++step) {
    // Only filter k's curve depends on its own parameters, so each column
    // needs one curve and not the whole sum.
    for (std::size_t u = 0; u < unknowns; ++u) {
      const std::size_t k = u / kParamsPerFilter;
      trial.assign(params.begin(), params.end());
      const double h = (u % kParamsPerFilter == 1) ? 1e-4 : 1e-6;
      const double signedH = (trial[u] + h > upper[u]) ? -h : h;
      trial[u] += signedH;
      GainCurve(FilterFromParams(trial, k), target, column);
      for (std::size_t i = 0; i < points; ++i) {
        jacobian[i * unknowns + u] = (column[i] - curves[k * points + i]) / signedH;
      }
    }
    std::fill(normal.begin(), normal.end(), 0.0);
    std::fill(gradient.begin(), gradient.end(), 0.0);
    for (std::size_t i = 0; i < points; ++i) {
      const double* row = jacobian.data() + i * unknowns;
      for (std::size_t a = 0; a < unknowns; ++a) {
        gradient[a] += row[a] * residual[i];
        for (std::size_t b = 0; b <= a; ++b) {
          normal[a * unknowns + b] += row[a] * row[b];
        }
      }
    }
    for (std::size_t a = 0; a < unknowns; ++a) {
      for (std::size_t b = a + 1; b < unknowns; ++b) {
        normal[a * unknowns + b] = normal[b * unknowns + a];
      }
    }

    bool improved = false;
    for (int attempt = 0; attempt < 12 && !improved; ++attempt) {
      std::vector<double> damped = normal;
      for (std::size_t a = 0; a < unknowns; ++a) {
        damped[a * unknowns + a] += damping * std::max(normal[a * unknowns + a], 1e-9);
      }
      std::vector<double> delta(gradient.size());
      std::transform(gradient.begin(), gradient.end(), delta.begin(), [](double g) { return -g; });
      if (SolveSymmetric(std::move(damped), delta, unknowns)) {
        for (std::size_t a = 0; a < unknowns; ++a) {
          trial[a] = std::clamp(params[a] + delta[a], lower[a], upper[a]);
        }
        const double trialCost = Evaluate(trial, target, trialCurves, trialResidual);
        if (trialCost < cost) {
          improved = true;
          converged = cost - trialCost < 1e-9 * (1.0 + cost);
          params.swap(trial);
          curves.swap(trialCurves);
          residual.swap(trialResidual);
          cost = trialCost;
          damping = std::max(damping / 3.0, 1e-9);
          continue;
        }
      }
      damping *= 4.0;
    }
    if (!improved) {
      break;
    }
  }
  for (std::size_t k = 0; k < filters.size(); ++k) {
    filters[k] = FilterFromParams(params, k);
  }
}
