#include "moddetect/Matrix.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace math {

matrixT::Body::Body(std::uint32_t r, std::uint32_t c)
    : rows(r), columns(c), storage(static_cast<std::size_t>(r) * c, 0.0f), row_starts(r) {
  for (std::uint32_t i = 0; i < r; ++i) row_starts[i] = storage.data() + static_cast<std::size_t>(i) * c;
}

matrixT::Body::Body(const Body& other) : Body(other.rows, other.columns) {
  // Copy in logical row order: exchanged row pointers become plain rows again.
  for (std::uint32_t i = 0; i < rows; ++i)
    std::copy(other.row_starts[i], other.row_starts[i] + columns, row_starts[i]);
}

matrixT::matrixT(std::uint32_t rows, std::uint32_t cols) : body_(std::make_shared<Body>(rows, cols)) {}

matrixT matrixT::Identity(std::uint32_t n) {
  matrixT m(n, n);
  for (std::uint32_t i = 0; i < n; ++i) m.body_->row_starts[i][i] = 1.0f;
  return m;
}

void matrixT::Resize(std::uint32_t rows, std::uint32_t cols) { body_ = std::make_shared<Body>(rows, cols); }

void matrixT::Unshare() {
  if (body_.use_count() > 1) body_ = std::make_shared<Body>(*body_);
}

void matrixT::SetZero() {
  if (body_.use_count() > 1) {
    body_ = std::make_shared<Body>(body_->rows, body_->columns);
    return;
  }
  std::fill(body_->storage.begin(), body_->storage.end(), 0.0f);
}

float& matrixT::operator()(std::uint32_t row, std::uint32_t col) {
  if (row >= body_->rows || col >= body_->columns)
    throw matrix_error("matrixT::operator(): Index out of range!");
  Unshare();
  return body_->row_starts[row][col];
}

float matrixT::operator()(std::uint32_t row, std::uint32_t col) const {
  if (row >= body_->rows || col >= body_->columns)
    throw matrix_error("matrixT::operator(): Index out of range!");
  return body_->row_starts[row][col];
}

float* matrixT::MutableRow(std::uint32_t row) {
  Unshare();
  return body_->row_starts[row];
}

matrixT& matrixT::operator+=(const matrixT& other) {
  if (RowCount() != other.RowCount() || ColCount() != other.ColCount())
    throw matrix_error("matrixT::operator+= : Inconsistent matrix sizes in addition!");
  Unshare();
  for (std::uint32_t i = 0; i < RowCount(); ++i) {
    float* dst = body_->row_starts[i];
    const float* src = other.body_->row_starts[i];
    for (std::uint32_t j = 0; j < ColCount(); ++j) dst[j] += src[j];
  }
  return *this;
}

matrixT& matrixT::operator*=(const matrixT& other) {
  if (ColCount() != other.RowCount())
    throw matrix_error("matrixT::operator*= : Inconsistent matrix sizes in multiplication!");
  const std::uint32_t n = RowCount(), m = other.ColCount(), inner = ColCount();
  auto result = std::make_shared<Body>(n, m);
  for (std::uint32_t i = 0; i < n; ++i) {
    const float* a = body_->row_starts[i];
    float* out = result->row_starts[i];
    for (std::uint32_t k = 0; k < inner; ++k) {
      const float aik = a[k];
      const float* b = other.body_->row_starts[k];
      for (std::uint32_t j = 0; j < m; ++j) out[j] += aik * b[j];
    }
  }
  body_ = std::move(result);
  return *this;
}

matrixT& matrixT::operator*=(float scalar) {
  Unshare();
  for (float& v : body_->storage) v *= scalar;
  return *this;
}

matrixT& matrixT::operator/=(float scalar) {
  Unshare();
  for (float& v : body_->storage) v /= scalar;
  return *this;
}

matrixT matrixT::Transpose() const {
  matrixT t(ColCount(), RowCount());
  for (std::uint32_t i = 0; i < RowCount(); ++i)
    for (std::uint32_t j = 0; j < ColCount(); ++j) t.body_->row_starts[j][i] = body_->row_starts[i][j];
  return t;
}

void matrixT::ExchangeRows(std::uint32_t a, std::uint32_t b) {
  if (a >= RowCount() || b >= RowCount()) throw matrix_error("matrixT::operator(): Index out of range!");
  if (a == b) return;
  Unshare();
  std::swap(body_->row_starts[a], body_->row_starts[b]);
}

long matrixT::Pivot(Body& body, std::uint32_t c) {
  const std::uint32_t n = body.rows;
  std::uint32_t best = c;
  float best_abs = std::fabs(body.row_starts[c][c]);
  std::uint32_t r = c + 1;
  // Four rows per step: the covariance matrices here are tiny, but the data
  // matrices handed to Det by callers need not be.
  for (; r + 3 < n; r += 4) {
    const float a0 = std::fabs(body.row_starts[r][c]);
    const float a1 = std::fabs(body.row_starts[r + 1][c]);
    const float a2 = std::fabs(body.row_starts[r + 2][c]);
    const float a3 = std::fabs(body.row_starts[r + 3][c]);
    if (a0 > best_abs) { best_abs = a0; best = r; }
    if (a1 > best_abs) { best_abs = a1; best = r + 1; }
    if (a2 > best_abs) { best_abs = a2; best = r + 2; }
    if (a3 > best_abs) { best_abs = a3; best = r + 3; }
  }
  for (; r < n; ++r) {
    const float a = std::fabs(body.row_starts[r][c]);
    if (a > best_abs) { best_abs = a; best = r; }
  }
  if (best_abs == 0.0f) return -1;
  if (best != c) std::swap(body.row_starts[best], body.row_starts[c]);
  return static_cast<long>(best);
}

double matrixT::Det() const {
  if (RowCount() != ColCount()) throw matrix_error("matrixT::Det(): Determinant a non-square matrix!");
  Body work(*body_);
  const std::uint32_t n = work.rows;
  float det = 1.0f;
  for (std::uint32_t c = 0; c < n; ++c) {
    long p = Pivot(work, c);
    if (p < 0) return 0.0;
    if (static_cast<std::uint32_t>(p) != c) det = -det;
    const float pivot = work.row_starts[c][c];
    det *= pivot;
    for (std::uint32_t r = c + 1; r < n; ++r) {
      const float factor = work.row_starts[r][c] / pivot;
      if (factor == 0.0f) continue;
      for (std::uint32_t j = c; j < n; ++j) work.row_starts[r][j] -= factor * work.row_starts[c][j];
    }
  }
  return det;
}

matrixT matrixT::operator!() const {
  if (RowCount() != ColCount()) throw matrix_error("matrixT::operator!: Inversion of a non-square matrix");
  const std::uint32_t n = RowCount();
  Body work(*body_);
  matrixT inv = Identity(n);
  Body& id = *inv.body_;
  inv.inversion_succeeded_ = false;
  for (std::uint32_t c = 0; c < n; ++c) {
    long p = Pivot(work, c);
    if (p < 0) return inv;
    if (static_cast<std::uint32_t>(p) != c) std::swap(id.row_starts[p], id.row_starts[c]);
    const float pivot = work.row_starts[c][c];
    for (std::uint32_t j = 0; j < n; ++j) {
      work.row_starts[c][j] /= pivot;
      id.row_starts[c][j] /= pivot;
    }
    for (std::uint32_t r = 0; r < n; ++r) {
      if (r == c) continue;
      const float factor = work.row_starts[r][c];
      if (factor == 0.0f) continue;
      for (std::uint32_t j = 0; j < n; ++j) {
        work.row_starts[r][j] -= factor * work.row_starts[c][j];
        id.row_starts[r][j] -= factor * id.row_starts[c][j];
      }
    }
  }
  inv.inversion_succeeded_ = true;
  return inv;
}

matrixT operator*(const matrixT& a, const matrixT& b) {
  matrixT result = a;
  result *= b;
  return result;
}

matrixT operator*(const matrixT& a, float scalar) {
  matrixT result = a;
  result *= scalar;
  return result;
}

matrixT OuterProduct(const matrixT& x) {
  const std::uint32_t n = x.RowCount();
  matrixT out(n, n);
  if (x.ColCount() == 0) return out;  // no vector to multiply
  if (n == 1) {
    const float a = x.Row(0)[0];
    out.MutableRow(0)[0] = a * a;
  } else if (n == 2) {
    const float a = x.Row(0)[0], b = x.Row(1)[0];
    out.MutableRow(0)[0] = a * a;
    out.MutableRow(0)[1] = b * a;
    out.MutableRow(1)[0] = a * b;
    out.MutableRow(1)[1] = b * b;
  } else {
    for (std::uint32_t i = 0; i < n; ++i) {
      float* row = out.MutableRow(i);
      for (std::uint32_t j = 0; j < n; ++j) row[j] = x.Row(j)[0] * x.Row(i)[0];
    }
  }
  return out;
}

float IntPower(float x, int n) {
  long long e = n;
  const bool negative = e < 0;
  if (negative) e = -e;
  float result = 1.0f, base = x;
  while (e > 0) {
    if (e & 1) result *= base;
    base *= base;
    e >>= 1;
  }
  return negative ? 1.0f / result : result;
}

}  // namespace math
