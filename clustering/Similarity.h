#pragma once
// Similarity of two peak lists, optionally letting fragment peaks match when
// shifted by the precursor mass difference of the two spectra.

#include <array>

#include "common/Spectrum.h"
#include "common/Types.h"

class CSimilarity {
 public:
  // One scoring operation: (first, second, delta) -> score. Delta is
  // normally M(first) - M(second).
  using Operation = double (CSimilarity::*)(const msdata::PeakList&, const msdata::PeakList&,
                                            double) const;
  static constexpr int kOperationCount = 7;

  CSimilarity();
  CSimilarity(Similar_Method similar_method, double fragment_ion_tol,
              Tolerance_Type fragment_ion_tol_type);

  Similar_Method similar_method = SIMILAR_DOT_PRODUCT;
  double fragment_ion_tol = 0.5;
  Tolerance_Type fragment_ion_tol_type = TOLERANCE_DA;
  // Indexed by method 0..6; "Comprehensive" (7) has no operation of its own.
  std::array<Operation, kOperationCount> operations;

  void Set(Similar_Method method, double tol, Tolerance_Type type) {
    similar_method = method;
    fragment_ion_tol = tol;
    fragment_ion_tol_type = type;
  }

  // Scores the two lists with the current method. Methods 1, 2, 3, 4 and 6
  // first sort both lists in place by intensity, descending; the caller's
  // lists keep that order. Method 7 and unknown methods score 0.
  double Compute(msdata::PeakList& first, msdata::PeakList& second, double delta) const;

  // Whether Compute sorts its arguments by intensity for this method.
  static bool SortsByIntensity(int method);
  // Puts a list into the order Compute gives it for `method`.
  static void ArrangeFor(int method, msdata::PeakList& peaks);
  // Compute for lists already arranged by ArrangeFor: the same score without
  // touching the lists, so one prepared list serves many pairs and threads.
  double ComputeArranged(const msdata::PeakList& first, const msdata::PeakList& second,
                         double delta) const;

  // Methods 0 and 5 expect both lists ascending in m/z.
  double IntensityScore(const msdata::PeakList& first, const msdata::PeakList& second,
                        double delta) const;
  double DotProduct(const msdata::PeakList& first, const msdata::PeakList& second,
                    double delta) const;
  double DotProductMod(const msdata::PeakList& first, const msdata::PeakList& second,
                       double delta) const;
  double DotProductHalf(const msdata::PeakList& first, const msdata::PeakList& second,
                        double delta) const;
  double DotProductX(const msdata::PeakList& first, const msdata::PeakList& second,
                     double delta) const;
  double PeakCount(const msdata::PeakList& first, const msdata::PeakList& second,
                   double delta) const;
  double Bonanza(const msdata::PeakList& first, const msdata::PeakList& second,
                 double delta) const;

 private:
  // Methods 2 (in daltons) and 6: each first-list peak takes the first
  // unmatched second-list peak at its m/z or, for delta > 0.5, at its m/z
  // plus delta. Returns the cosine, or with `squares` the plain sum of
  // products, adding the matched squares of both lists to squares[0..1].
  double MatchShifted(const msdata::PeakList& first, const msdata::PeakList& second,
                      double delta, double* squares) const;
  // |difference| below the tolerance; in ppm mode relative to `reference`.
  bool Within(double difference, double reference) const;
};
