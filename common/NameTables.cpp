#include "common/NameTables.h"

#include "common/TextUtil.h"

namespace names {

std::string ToleranceTypeName(int type) {
  if (type < 0 || type >= static_cast<int>(kToleranceTypeNames.size())) return "";
  return kToleranceTypeNames[type];
}

std::string SimilarMethodName(int method) {
  if (method < 0 || method >= static_cast<int>(kSimilarMethodNames.size())) return "";
  return kSimilarMethodNames[method];
}

int SimilarMethodIndex(const std::string& name) {
  const std::string wanted = text::ToLower(name);
  for (std::size_t i = 0; i < kSimilarMethodNames.size(); ++i) {
    if (text::ToLower(kSimilarMethodNames[i]) == wanted) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace names
