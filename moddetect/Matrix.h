#pragma once
// Small dense single-precision matrices for the Gaussian-mixture code.
//
// A matrixT is a handle on a reference-counted body: copies share the
// elements until one of them writes, which then takes a private copy. Size
// mistakes throw math::matrix_error; singularity never throws (Det gives 0,
// the inverse clears its status flag).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace math {

class matrix_error : public std::exception {
 public:
  explicit matrix_error(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

class matrixT {
 public:
  matrixT() : matrixT(0, 0) {}
  matrixT(std::uint32_t rows, std::uint32_t cols);

  // Identity of size n.
  static matrixT Identity(std::uint32_t n);

  std::uint32_t RowCount() const { return body_->rows; }
  std::uint32_t ColCount() const { return body_->columns; }

  // Gives this handle a new zero body of the given size.
  void Resize(std::uint32_t rows, std::uint32_t cols);
  void SetZero();

  // Bounds-checked element access; the writing form unshares the body.
  float& operator()(std::uint32_t row, std::uint32_t col);
  float operator()(std::uint32_t row, std::uint32_t col) const;

  // Unchecked row access for hot loops. The writing form unshares once, so
  // a loop over rows through it copies the body at most once.
  const float* Row(std::uint32_t row) const { return body_->row_starts[row]; }
  float* MutableRow(std::uint32_t row);

  matrixT& operator+=(const matrixT& other);
  matrixT& operator*=(const matrixT& other);
  matrixT& operator*=(float scalar);
  matrixT& operator/=(float scalar);

  matrixT Transpose() const;
  // The swap touches row pointers only.
  void ExchangeRows(std::uint32_t a, std::uint32_t b);

  double Det() const;
  // Inverse; the result's InversionSucceeded() tells whether the matrix was
  // regular (the status flag that the density messages print).
  matrixT operator!() const;
  bool InversionSucceeded() const { return inversion_succeeded_; }

  // Number of handles sharing this body (for tests of the sharing rule).
  long ShareCount() const { return body_.use_count(); }
  bool SharesBodyWith(const matrixT& other) const { return body_ == other.body_; }

 private:
  struct Body {
    std::uint32_t rows = 0;
    std::uint32_t columns = 0;
    std::vector<float> storage;
    // Where each row begins in `storage`; exchanging rows swaps these.
    std::vector<float*> row_starts;
    Body(std::uint32_t r, std::uint32_t c);
    Body(const Body& other);
    Body& operator=(const Body&) = delete;
  };

  void Unshare();
  // Row index of the pivot for column c among rows c..n-1, or -1 when the
  // column is singular there. Exchanges it into row c.
  static long Pivot(Body& body, std::uint32_t c);

  bool inversion_succeeded_ = false;
  std::shared_ptr<Body> body_;
};

matrixT operator*(const matrixT& a, const matrixT& b);
matrixT operator*(const matrixT& a, float scalar);
// Outer product x * x^T of a column vector (n x 1) into an n x n matrix.
matrixT OuterProduct(const matrixT& x);
// x^n by repeated squaring; 1 / x^|n| for negative n.
float IntPower(float x, int n);

}  // namespace math
