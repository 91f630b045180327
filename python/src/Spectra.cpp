#include "Spectra.h"

#include <pybind11/stl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>

#include "common/Notifier.h"
#include "common/PathUtil.h"
#include "spectra/MS2Input.h"
#include "spectra/MgfImporter.h"
#include "spectra/MgfWriter.h"

namespace py = pybind11;

namespace tessera_py {

namespace {

struct OriginCopy {
  std::string file, run, native_id, title;
  int scan = -1;
  std::size_t index = 0;
};

// The peaks of a record as two arrays, copied once and let go from the
// record at once, so that a large run never holds its peaks twice.
void TakePeaks(msdata::CSpectrum& record, PySpectrum& spectrum) {
  const std::size_t n = record.peaks.size();
  spectrum.mz = py::array_t<double>(static_cast<py::ssize_t>(n));
  spectrum.intensity = py::array_t<double>(static_cast<py::ssize_t>(n));
  double* mz = spectrum.mz.mutable_data();
  double* intensity = spectrum.intensity.mutable_data();
  for (std::size_t k = 0; k < n; ++k) {
    mz[k] = record.peaks[k].first;
    intensity[k] = record.peaks[k].second;
  }
  msdata::PeakList().swap(record.peaks);
}

// The messages of a load (skipped records, names made safe) as Python
// warnings, once the load is over.
void Warn(const std::vector<std::string>& messages) {
  for (const std::string& message : messages) {
    if (PyErr_WarnEx(PyExc_UserWarning, message.c_str(), 1) != 0) throw py::error_already_set();
  }
}

std::vector<PySpectrum> ReadSpectra(const std::string& path, int threads) {
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

  std::vector<OriginCopy> origins;
  importer->SetOriginHook([&origins](const msdata::CSpectrum&, const CMS2Input::Origin& o) {
    origins.push_back({std::string(o.file), std::string(o.run), std::string(o.native_id), std::string(o.title),
                       o.scan, o.index});
  });
  std::vector<msdata::CSpectrum> records;
  std::vector<std::string> said;
  bool loaded = false;
  {
    py::gil_scoped_release free;
    notify::ScopedHandler collect([&said](const std::string& message) { said.push_back(message); });
    loaded = importer->Load(path, records, true);
  }
  Warn(said);
  if (!loaded) throw std::runtime_error(importer->LastError());

  std::vector<PySpectrum> spectra;
  spectra.reserve(records.size());
  for (std::size_t i = 0; i < records.size(); ++i) {
    msdata::CSpectrum& r = records[i];
    PySpectrum s;
    s.name = r.name;
    if (i < origins.size()) {
      OriginCopy& o = origins[i];
      s.file = std::move(o.file);
      s.run = std::move(o.run);
      s.native_id = std::move(o.native_id);
      s.title = std::move(o.title);
      s.scan = o.scan;
      s.index = static_cast<long>(o.index);
    }
    s.retention_time = r.retention_time;
    s.precursor_mz = r.precursor_mz;
    s.precursor_mass = r.precursor_mass;
    s.charge = r.charge;
    TakePeaks(r, s);
    spectra.push_back(std::move(s));
  }
  return spectra;
}

// Peaks given from Python: one-dimensional, of one length, as doubles.
py::array_t<double> PeakArray(const py::object& values, const char* what) {
  auto array = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(values);
  if (!array || array.ndim() != 1) throw py::value_error(std::string(what) + " must be a one-dimensional array of numbers");
  return array;
}

void WriteMgf(const std::string& path, const std::vector<PySpectrum>& spectra) {
  std::vector<msdata::CSpectrum> records;
  records.reserve(spectra.size());
  for (const PySpectrum& s : spectra) records.push_back(ToRecord(s));
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
  const std::size_t n = static_cast<std::size_t>(std::min(spectrum.mz.size(), spectrum.intensity.size()));
  r.peaks.resize(n);
  const double* mz = spectrum.mz.data();
  const double* intensity = spectrum.intensity.data();
  for (std::size_t k = 0; k < n; ++k) r.peaks[k] = {mz[k], intensity[k]};
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
             s.mz = PeakArray(mz, "mz");
             s.intensity = PeakArray(intensity, "intensity");
             if (s.mz.size() != s.intensity.size())
               throw py::value_error(name + ": mz and intensity differ in length");
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
      .def_readonly("mz", &PySpectrum::mz)
      .def_readonly("intensity", &PySpectrum::intensity)
      .def("__len__", [](const PySpectrum& s) { return s.mz.size(); })
      .def("__repr__", [](const PySpectrum& s) {
        return "<Spectrum " + s.name + " m/z " + std::to_string(s.precursor_mz) + " charge " +
               std::to_string(s.charge) + ", " + std::to_string(s.mz.size()) + " peaks>";
      });

  m.def("read_spectra", &ReadSpectra, py::arg("path"), py::arg("threads") = 1,
        "Every MS2 spectrum of a spectrum file (mzML, mzXML, MGF, MS2, DTAS, PKL) or DTA folder, in file order.");
  m.def("write_mgf", &WriteMgf, py::arg("path"), py::arg("spectra"),
        "Writes spectra as one MGF file, whole or not at all.");
}

}  // namespace tessera_py
