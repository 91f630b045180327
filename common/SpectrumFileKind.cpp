#include "common/SpectrumFileKind.h"

#include <array>
#include <fstream>
#include <string_view>

#include "common/PathUtil.h"
#include "common/TextUtil.h"

namespace spectrumfile {
namespace {

// Settings files are short key=value lines; the first kilobytes of a run
// tell its format well before any peak.
constexpr std::size_t kSniffBytes = 4096;

bool BeginsAsSpectra(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string head(kSniffBytes, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(in.gcount()));
  const std::string upper = text::ToUpper(head);
  const std::size_t start = upper.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
  if (start == std::string::npos) return false;
  const std::string_view text = std::string_view(upper).substr(start);
  if (text.front() == '<') {
    for (std::string_view root : {"<MZML", "<INDEXEDMZML", "<MZXML"})
      if (text.find(root) != std::string_view::npos) return true;
    return false;
  }
  for (std::string_view opening : {"BEGIN IONS", "H\tCREATIONDATE", "H\tEXTRACTOR"})
    if (text.substr(0, opening.size()) == opening) return true;
  return false;
}

}  // namespace

bool IsSpectrumFile(const std::string& path) {
  if (!path::IsRegularFile(path)) return false;
  static constexpr std::array<std::string_view, 8> kExtensions = {"mzml", "mzxml", "mgf", "ms2", "dta", "dtas", "pkl", "raw"};
  const std::string extension = path::Extension(path);
  for (std::string_view e : kExtensions)
    if (extension == e) return true;
  return BeginsAsSpectra(path);
}

}  // namespace spectrumfile
