#include "Spectra.h"

#include <pybind11/stl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <type_traits>

#include "common/Notifier.h"
#include "common/PathUtil.h"
#include "spectra/MS2Input.h"
#include "spectra/MgfImporter.h"
#include "spectra/MgfWriter.h"

namespace py = pybind11;

namespace tessera_py {

namespace {

// The messages of a load (skipped records, names made safe) as Python
// warnings, once the load is over.
void Warn(const std::vector<std::string>& messages) {
  for (const std::string& message : messages) {
    if (PyErr_WarnEx(PyExc_UserWarning, message.c_str(), 1) != 0) throw py::error_already_set();
  }
}

// Each spectrum becomes a Python spectrum as it loads: the reader tells
// where it came from, then hands it over, and the reader's own list never
// keeps it. A few hundred at a time are made Python objects (with the
// interpreter's lock taken for a moment), so that no second list of a
// large run builds up on this side.
class Collector {
 public:
  explicit Collector(py::list& out) : out_(out) { pending_.reserve(kBatch); }

  // The hooks run on the loading thread, without the interpreter's lock.
  void Hook(CMS2Input& importer) {
    importer.SetOriginHook([this](const msdata::CSpectrum&, const CMS2Input::Origin& o) {
      PySpectrum& s = pending_.emplace_back();
      s.file = o.file;
      s.run = o.run;
      s.native_id = o.native_id;
      s.title = o.title;
      s.scan = o.scan;
      s.index = static_cast<long>(o.index);
    });
    importer.SetHook([this](msdata::CSpectrum& r, const CMS2Input::RecordPlace&) {
      if (pending_.size() == filled_) pending_.emplace_back();  // a reader that told no origin
      PySpectrum& s = pending_[filled_++];
      s.name = r.name;  // the reader keeps the name as taken
      s.retention_time = r.retention_time;
      s.precursor_mz = r.precursor_mz;
      s.precursor_mass = r.precursor_mass;
      s.charge = r.charge;
      s.peaks = std::move(r.peaks);
      if (filled_ == kBatch) {
        py::gil_scoped_acquire gil;
        Flush();
      }
      return false;
    });
  }

  // With the interpreter's lock held: the spectra handed over so far, into the list.
  void Flush() {
    for (std::size_t i = 0; i < filled_; ++i) out_.append(py::cast(std::move(pending_[i])));
    pending_.clear();
    filled_ = 0;
  }

 private:
  static constexpr std::size_t kBatch = 512;
  py::list& out_;
  std::vector<PySpectrum> pending_;
  std::size_t filled_ = 0;
};

py::list ReadSpectra(const std::string& path, int threads) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    PyErr_SetObject(PyExc_FileNotFoundError, py::make_tuple(ENOENT, "No such file or directory", path).ptr());
    throw py::error_already_set();
  }
  MS2FormatType type = MS2_FORMAT_DTA;
  std::string why;
  if (!path::IsDirectory(path) && !CMS2InputFactory::FormatFromPath(path, type, why)) throw py::value_error(why);
  std::unique_ptr<CMS2Input> importer(CMS2InputFactory().GetImporter(type, false));
  if (!importer) throw py::value_error("No reader for " + path);
  if (auto* mgf = dynamic_cast<CMgfImporter*>(importer.get())) mgf->SetThreads(threads);

  py::list spectra;
  Collector collector(spectra);
  collector.Hook(*importer);
  std::vector<msdata::CSpectrum> records;  // stays empty: the collector takes every spectrum
  std::vector<std::string> said;
  bool loaded = false;
  {
    py::gil_scoped_release free;
    notify::ScopedHandler collect([&said](const std::string& message) { said.push_back(message); });
    loaded = importer->Load(path, records, true);
  }
  Warn(said);
  if (!loaded) throw std::runtime_error(importer->LastError());
  collector.Flush();
  return spectra;
}

// One column of a spectrum's peaks as a numpy array over the peak list
// itself: no copy, and the spectrum lives as long as the array.
static_assert(std::is_standard_layout_v<msdata::Peak> && sizeof(msdata::Peak) == 2 * sizeof(double),
              "a peak list is m/z and intensity side by side");
py::array_t<double> PeakColumn(const py::object& self, double msdata::Peak::*column) {
  const msdata::PeakList& peaks = self.cast<const PySpectrum&>().peaks;
  if (peaks.empty()) return py::array_t<double>(0);
  const auto size = static_cast<py::ssize_t>(peaks.size());
  return py::array_t<double>({size}, {static_cast<py::ssize_t>(sizeof(msdata::Peak))}, &(peaks.front().*column),
                             self);
}

// Peaks given from Python: one-dimensional, of one length, as doubles.
py::array_t<double> PeakArray(const py::object& values, const char* what) {
  auto array = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(values);
  if (!array || array.ndim() != 1) throw py::value_error(std::string(what) + " must be a one-dimensional array of numbers");
  return array;
}

void WriteMgf(const std::string& path, const py::iterable& spectra) {
  std::vector<msdata::CSpectrum> records;
  for (const py::handle item : spectra) {
    if (!py::isinstance<PySpectrum>(item)) throw py::type_error("write_mgf takes Spectrum objects");
    records.push_back(ToRecord(item.cast<const PySpectrum&>()));
  }
  std::string error;
  bool written = false;
  {
    py::gil_scoped_release free;
    written = spectra::WriteMgfFile(path, records, error);
  }
  if (!written) throw std::runtime_error(error);
}

}  // namespace

msdata::CSpectrum ToRecord(const PySpectrum& spectrum) {
  msdata::CSpectrum r;
  r.name = spectrum.name;
  r.charge = spectrum.charge;
  r.precursor_mz = spectrum.precursor_mz;
  r.precursor_mass = spectrum.precursor_mass;
  r.retention_time = spectrum.retention_time;
  if (spectrum.scan >= 0) r.first_scan = r.last_scan = spectrum.scan;
  r.peaks = spectrum.peaks;
  return r;
}

void RegisterSpectra(py::module_& m) {
  py::class_<PySpectrum>(m, "Spectrum",
                         "One MS/MS spectrum: its name as the outputs give it, where it came from, its precursor "
                         "and its peaks (mz, intensity: numpy arrays, ascending in m/z).")
      .def(py::init([](const std::string& name, double precursor_mz, int charge, const py::object& mz,
                       const py::object& intensity, double retention_time, const std::string& title) {
             PySpectrum s;
             s.name = name;
             s.precursor_mz = precursor_mz;
             s.charge = charge;
             if (const char* problem = msdata::PrecursorMzProblem(precursor_mz))
               throw py::value_error(name + ": " + problem);
             s.precursor_mass = msdata::MHFromMz(precursor_mz, charge);
             const auto mz_values = PeakArray(mz, "mz");
             const auto intensity_values = PeakArray(intensity, "intensity");
             if (mz_values.size() != intensity_values.size())
               throw py::value_error(name + ": mz and intensity differ in length");
             const double* mz_at = mz_values.data();
             const double* intensity_at = intensity_values.data();
             s.peaks.resize(static_cast<std::size_t>(mz_values.size()));
             for (std::size_t k = 0; k < s.peaks.size(); ++k) s.peaks[k] = {mz_at[k], intensity_at[k]};
             s.retention_time = retention_time;
             s.title = title;
             return s;
           }),
           py::arg("name"), py::arg("precursor_mz"), py::arg("charge"), py::arg("mz"), py::arg("intensity"),
           py::arg("retention_time") = 0.0, py::arg("title") = "")
      .def_readwrite("name", &PySpectrum::name)
      .def_readwrite("file", &PySpectrum::file)
      .def_readwrite("run", &PySpectrum::run)
      .def_readwrite("native_id", &PySpectrum::native_id)
      .def_readwrite("title", &PySpectrum::title)
      .def_readwrite("scan", &PySpectrum::scan)
      .def_readwrite("index", &PySpectrum::index)
      .def_readwrite("retention_time", &PySpectrum::retention_time)
      .def_readwrite("precursor_mz", &PySpectrum::precursor_mz)
      .def_readwrite("precursor_mass", &PySpectrum::precursor_mass)
      .def_readwrite("charge", &PySpectrum::charge)
      .def_property_readonly("mz", [](const py::object& self) { return PeakColumn(self, &msdata::Peak::first); })
      .def_property_readonly("intensity",
                             [](const py::object& self) { return PeakColumn(self, &msdata::Peak::second); })
      .def("__len__", [](const PySpectrum& s) { return s.peaks.size(); })
      .def("__repr__", [](const PySpectrum& s) {
        return "<Spectrum " + s.name + " m/z " + std::to_string(s.precursor_mz) + " charge " +
               std::to_string(s.charge) + ", " + std::to_string(s.peaks.size()) + " peaks>";
      });

  m.def("read_spectra", &ReadSpectra, py::arg("path"), py::arg("threads") = 1,
        "Every MS2 spectrum of a spectrum file (mzML, mzXML, MGF, MS2, DTAS, PKL) or DTA folder, in file order.");
  m.def("write_mgf", &WriteMgf, py::arg("path"), py::arg("spectra"),
        "Writes spectra as one MGF file, whole or not at all.");
}

}  // namespace tessera_py
