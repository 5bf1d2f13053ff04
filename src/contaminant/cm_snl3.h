// SNL3: a solver for the three coupled quadratic balance equations of a
// channel link's water (X), stream-bed surface layer (Y) and deep layer (Z):
//
//   1. (A1 + B1 X) X = (C1 + D1 Y) Y + E1 Z + G1
//   2. (C2 + D2 Y) Y = (A2 + B2 X) X + (E2 + F2 Z) Z + G2
//   3. (C3 + D3 Z) Z = (A3 + B3 Y) Y + G3
//
// It never stops the run: it writes its convergence messages to the console and the
// caller carries on with what it returns.
#pragma once

#include "include/contaminant_link_work.h"
#include "services/records.h"

namespace quendal {

constexpr int SNL3_MAX_SWEEPS = 100;
constexpr int SNL3_MESSAGE_LIMIT = 10;

struct Snl3Coefficients {
  double A1 = 0.0, B1 = 0.0, C1 = 0.0, D1 = 0.0, E1 = 0.0;
  double A2 = 0.0, B2 = 0.0, C2 = 0.0, D2 = 0.0, E2 = 0.0, F2 = 0.0;
  double A3 = 0.0, B3 = 0.0;
  double G1 = 0.0, G2 = 0.0, G3 = 0.0;
  double C3 = 0.0, D3 = 0.0;
};

enum class Snl3Outcome {
  converged,         // residuals within 1 %
  residual_failure,  // finite values whose residuals fail; they are returned all the same
  non_finite,        // a zero divisor or a value that is not a finite number: X = Y = Z = 0
};

// Solves the equations: a linear system by elimination, a quadratic one by Newton's
// method from the solution of its linear part; when neither gives an answer (a singular
// system, Newton not settling), by 100 sweeps from X = Y = Z = 0 and three more that must
// reproduce them. The lower-bound and residual tests judge whatever was found.
// `failure_count` counts the failures of the
// whole run (SNL3_FAILURE_COUNT); the residual message is written while it is below
// SNL3_MESSAGE_LIMIT, the suppression line once when it reaches it, then nothing.
Snl3Outcome SNL3(const Snl3Coefficients& k, double& X, double& Y, double& Z,
                 int& failure_count, RecordSink& console);

// Contaminant held per unit length in the bank cells above the bed on both sides (up to
// `top`), which bank erosion releases into the water.
double CM_LINK_BANK_STORE(const ContaminantLinkWork& w, int top);

// The link balance: the three coupled equations of one link's water, bed surface layer
// and bed deep layer for one contaminant over the step dt, assembled from the link work
// record and solved with SNL3. Cw0, Cs0, Cd0 are the start values, Cw, Cs, Cd receive the
// new ones; `top` is the last bank cell of the sums. A dry link's water is not solved (it
// keeps Cw0); after a solution that is not finite every compartment keeps its start value.
Snl3Outcome CM_LINK_BALANCE(const ContaminantLinkWork& w, double Cd0, double& Cd, double Cs0,
                            double& Cs, double Cw0, double& Cw, double dt, int top,
                            int& failure_count, RecordSink& console);

// The same balance with every capacity's slope zero (each capacity held over the step),
// solved for the end concentrations themselves: an M-matrix over a right-hand side of
// what each compartment held at the start and what enters it, by elimination without
// pivoting, so that no compartment ends below zero however far its capacity rose over
// the step. False (and Cw, Cs, Cd untouched) when a pivot is not positive or a value is
// not finite.
bool CM_LINK_BALANCE_AT_END(const ContaminantLinkWork& w, double Cd0, double& Cd, double Cs0,
                            double& Cs, double Cw0, double& Cw, double dt, int top);

}  // namespace quendal
