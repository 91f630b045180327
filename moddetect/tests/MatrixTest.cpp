#include <gtest/gtest.h>

#include "moddetect/Matrix.h"

using math::matrix_error;
using math::matrixT;

namespace {

matrixT Make(std::initializer_list<std::initializer_list<float>> rows) {
  matrixT m(static_cast<std::uint32_t>(rows.size()), static_cast<std::uint32_t>(rows.begin()->size()));
  std::uint32_t i = 0;
  for (const auto& r : rows) {
    std::uint32_t j = 0;
    for (float v : r) m(i, j++) = v;
    ++i;
  }
  return m;
}

std::string ErrorText(const std::function<void()>& f) {
  try {
    f();
  } catch (const matrix_error& e) {
    return e.what();
  }
  return "";
}

}  // namespace

TEST(MatrixT, DeterminantWithRowExchangeAndSingularity) {
  EXPECT_FLOAT_EQ(Make({{0, 1}, {1, 0}}).Det(), -1.0f);
  EXPECT_FLOAT_EQ(Make({{2, 1, 0}, {1, 3, 1}, {0, 1, 4}}).Det(), 18.0f);
  // The largest pivot is the third row: two exchanges cancel in sign.
  EXPECT_NEAR(Make({{1, 2, 3}, {4, 5, 6}, {7, 8, 10}}).Det(), -3.0, 1e-4);
  EXPECT_EQ(Make({{0, 1}, {0, 2}}).Det(), 0.0);
  EXPECT_EQ(matrixT(3, 3).Det(), 0.0);
}

TEST(MatrixT, InverseAndItsStatusFlag) {
  const matrixT a = Make({{0, 2}, {4, 1}});
  const matrixT inv = !a;
  ASSERT_TRUE(inv.InversionSucceeded());
  const matrixT id = a * inv;
  EXPECT_NEAR(id(0, 0), 1.0f, 1e-6);
  EXPECT_NEAR(id(0, 1), 0.0f, 1e-6);
  EXPECT_NEAR(id(1, 0), 0.0f, 1e-6);
  EXPECT_NEAR(id(1, 1), 1.0f, 1e-6);
  // The inversion works on a copy: the source keeps its rows in place.
  EXPECT_EQ(a(0, 0), 0.0f);
  EXPECT_EQ(a(1, 0), 4.0f);

  const matrixT singular = Make({{0, 1}, {0, 3}});
  EXPECT_FALSE((!singular).InversionSucceeded());
}

TEST(MatrixT, CopiesShareUntilWritten) {
  matrixT a = Make({{1, 2}, {3, 4}});
  matrixT b = a;
  EXPECT_TRUE(b.SharesBodyWith(a));
  EXPECT_EQ(a.ShareCount(), 2);
  b(0, 0) = 9.0f;
  EXPECT_FALSE(b.SharesBodyWith(a));
  EXPECT_EQ(a(0, 0), 1.0f);
  EXPECT_EQ(b(0, 0), 9.0f);
  // Reading through a const handle never unshares.
  matrixT c = a;
  const matrixT& cc = c;
  EXPECT_EQ(cc(1, 1), 4.0f);
  EXPECT_TRUE(c.SharesBodyWith(a));
  // Row exchange on a copy leaves the original's order alone.
  c.ExchangeRows(0, 1);
  EXPECT_EQ(c(0, 0), 3.0f);
  EXPECT_EQ(a(0, 0), 1.0f);
  // A copy of an exchanged matrix keeps the logical order.
  matrixT d = c;
  d(1, 1) = 7.0f;
  EXPECT_EQ(d(0, 0), 3.0f);
  EXPECT_EQ(d(1, 0), 1.0f);
  EXPECT_EQ(c(1, 1), 2.0f);
}

TEST(MatrixT, ArithmeticAndHelpers) {
  matrixT a = Make({{1, 2}, {3, 4}});
  a += Make({{1, 1}, {1, 1}});
  EXPECT_EQ(a(1, 1), 5.0f);
  a *= 2.0f;
  EXPECT_EQ(a(0, 1), 6.0f);
  a /= 2.0f;
  EXPECT_EQ(a(0, 1), 3.0f);
  const matrixT p = Make({{1, 2, 3}}) * Make({{1}, {2}, {3}});
  ASSERT_EQ(p.RowCount(), 1u);
  ASSERT_EQ(p.ColCount(), 1u);
  EXPECT_EQ(p(0, 0), 14.0f);
  const matrixT t = Make({{1, 2, 3}}).Transpose();
  EXPECT_EQ(t.RowCount(), 3u);
  EXPECT_EQ(t(2, 0), 3.0f);
  const matrixT o = math::OuterProduct(Make({{2}, {3}}));
  EXPECT_EQ(o(0, 1), 6.0f);
  EXPECT_EQ(o(1, 1), 9.0f);
  const matrixT o3 = math::OuterProduct(Make({{1}, {2}, {3}}));
  EXPECT_EQ(o3(2, 1), 6.0f);
  EXPECT_FLOAT_EQ(math::IntPower(2.0f, 10), 1024.0f);
  EXPECT_FLOAT_EQ(math::IntPower(2.0f, -2), 0.25f);
  EXPECT_FLOAT_EQ(math::IntPower(5.0f, 0), 1.0f);
  a.SetZero();
  EXPECT_EQ(a(1, 0), 0.0f);
  const matrixT id = matrixT::Identity(3);
  EXPECT_EQ(id(2, 2), 1.0f);
  EXPECT_EQ(id(2, 1), 0.0f);
}

TEST(MatrixT, SizeErrorsThrowWithTheirTexts) {
  matrixT a(2, 2);
  EXPECT_EQ(ErrorText([&] { (void)a(2, 0); }), "matrixT::operator(): Index out of range!");
  EXPECT_EQ(ErrorText([&] { (void)a(0, 2); }), "matrixT::operator(): Index out of range!");
  EXPECT_EQ(ErrorText([&] { a += matrixT(2, 3); }),
            "matrixT::operator+= : Inconsistent matrix sizes in addition!");
  EXPECT_EQ(ErrorText([&] { a *= matrixT(3, 2); }),
            "matrixT::operator*= : Inconsistent matrix sizes in multiplication!");
  EXPECT_EQ(ErrorText([&] { (void)(a * matrixT(1, 2)); }),
            "matrixT::operator*= : Inconsistent matrix sizes in multiplication!");
  EXPECT_EQ(ErrorText([&] { (void)matrixT(2, 3).Det(); }), "matrixT::Det(): Determinant a non-square matrix!");
  EXPECT_EQ(ErrorText([&] { (void)!matrixT(3, 2); }), "matrixT::operator!: Inversion of a non-square matrix");
  // A failed operation leaves the matrix as it was.
  EXPECT_EQ(a.RowCount(), 2u);
  EXPECT_EQ(a.ColCount(), 2u);
}
