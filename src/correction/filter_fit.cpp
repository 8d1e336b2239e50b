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

double FitLimits::MaxQAt(double hz) const {
  const double above = std::clamp(std::log2(hz / modalTopHz), 0.0, 1.0);
  return maxModalQ * std::pow(maxQ / maxModalQ, above);
}

double FitCost(std::span<const PeakingFilter> filters, const FitTarget& target) {
  std::vector<double> params;
  for (const PeakingFilter& f : filters) {
    params.insert(params.end(), {std::log(f.hz), f.gainDb, std::log(f.q)});
  }
  std::vector<double> curves;
  std::vector<double> residual;
  return Evaluate(params, target, curves, residual);
}

namespace {

// The fit's state in log f, gain, log Q per filter, with its bounds, the
// filters' curves and the residual at every point.
struct FitState {
  FitLimits limits;
  std::vector<double> params;
  std::vector<double> lower;
  std::vector<double> upper;
  std::vector<double> curves;
  std::vector<double> residual;
  double cost = 0.0;
};

// The residual's derivative by every parameter, by forward differences (a
// backward one at an upper bound). Only filter k's curve depends on its own
// parameters, so each column needs one curve and not the whole sum.
void FillJacobian(const FitState& state, const FitTarget& target, std::vector<double>& jacobian) {
  const std::size_t points = target.excessDb.size();
  const std::size_t unknowns = state.params.size();
  std::vector<double> trial;
  std::vector<double> column(points);
  for (std::size_t u = 0; u < unknowns; ++u) {
    const std::size_t k = u / kParamsPerFilter;
    trial.assign(state.params.begin(), state.params.end());
    const double h = (u % kParamsPerFilter == 1) ? 1e-4 : 1e-6;
    const double signedH = (trial[u] + h > state.upper[u]) ? -h : h;
    trial[u] += signedH;
    GainCurve(FilterFromParams(trial, k), target, column);
    for (std::size_t i = 0; i < points; ++i) {
      jacobian[i * unknowns + u] = (column[i] - state.curves[k * points + i]) / signedH;
    }
  }
}

// J^T J (symmetric, filled whole) and J^T r.
void NormalEquations(const std::vector<double>& jacobian, const std::vector<double>& residual,
                     std::size_t unknowns, std::vector<double>& normal,
                     std::vector<double>& gradient) {
  std::fill(normal.begin(), normal.end(), 0.0);
  std::fill(gradient.begin(), gradient.end(), 0.0);
  for (std::size_t i = 0; i < residual.size(); ++i) {
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
}

// The box of bounds lets every filter reach the modes' Q; the filters above
// the modes are held to their own.
void KeepQsWithinLimits(const FitLimits& limits, std::vector<double>& params) {
  for (std::size_t at = 0; at + 2 < params.size(); at += kParamsPerFilter) {
    params[at + 2] = std::min(params[at + 2], std::log(limits.MaxQAt(std::exp(params[at]))));
  }
}

// Levenberg-Marquardt's damped steps: raises the damping until a step
// lowers the cost, and takes it. Returns whether one did, and sets
// converged when the gain was negligible.
bool TakeDampedStep(FitState& state, const FitTarget& target, const std::vector<double>& normal,
                    const std::vector<double>& gradient, double& damping, bool& converged) {
  const std::size_t unknowns = state.params.size();
  std::vector<double> trial(unknowns);
  std::vector<double> trialCurves;
  std::vector<double> trialResidual;
  for (int attempt = 0; attempt < 12; ++attempt) {
    std::vector<double> damped = normal;
    for (std::size_t a = 0; a < unknowns; ++a) {
      damped[a * unknowns + a] += damping * std::max(normal[a * unknowns + a], 1e-9);
    }
    std::vector<double> delta(gradient.size());
    std::transform(gradient.begin(), gradient.end(), delta.begin(), [](double g) { return -g; });
    if (SolveSymmetric(std::move(damped), delta, unknowns)) {
      for (std::size_t a = 0; a < unknowns; ++a) {
        trial[a] = std::clamp(state.params[a] + delta[a], state.lower[a], state.upper[a]);
      }
      KeepQsWithinLimits(state.limits, trial);
      const double trialCost = Evaluate(trial, target, trialCurves, trialResidual);
      if (trialCost < state.cost) {
        converged = state.cost - trialCost < 1e-9 * (1.0 + state.cost);
        state.params.swap(trial);
        state.curves.swap(trialCurves);
        state.residual.swap(trialResidual);
        state.cost = trialCost;
        damping = std::max(damping / 3.0, 1e-9);
        return true;
      }
    }
    damping *= 4.0;
  }
  return false;
}

}  // namespace

void RefineFilters(std::span<PeakingFilter> filters, const FitTarget& target,
                   const FitLimits& limits, int maxSteps) {
  const std::size_t points = target.excessDb.size();
  const std::size_t unknowns = filters.size() * kParamsPerFilter;
  if (unknowns == 0 || points == 0) {
    return;
  }
  FitState state;
  state.limits = limits;
  const double highestQ = std::max(limits.maxQ, limits.maxModalQ);
  for (const PeakingFilter& f : filters) {
    state.params.insert(state.params.end(), {std::log(f.hz), f.gainDb, std::log(f.q)});
    state.lower.insert(state.lower.end(),
                       {std::log(limits.lowHz), limits.minGainDb, std::log(limits.minQ)});
    state.upper.insert(state.upper.end(),
                       {std::log(limits.highHz), limits.maxGainDb, std::log(highestQ)});
  }
  state.cost = Evaluate(state.params, target, state.curves, state.residual);
  std::vector<double> jacobian(points * unknowns);  // point-major
  std::vector<double> normal(unknowns * unknowns);
  std::vector<double> gradient(unknowns);
  double damping = 1e-3;
  bool converged = false;
  for (int step = 0; step < maxSteps && !converged; ++step) {
    FillJacobian(state, target, jacobian);
    NormalEquations(jacobian, state.residual, unknowns, normal, gradient);
    if (!TakeDampedStep(state, target, normal, gradient, damping, converged)) {
      break;
    }
  }
  const std::vector<double>& params = state.params;
  for (std::size_t k = 0; k < filters.size(); ++k) {
    filters[k] = FilterFromParams(params, k);
  }
}
