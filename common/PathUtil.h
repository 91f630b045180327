#pragma once
// Path helpers. Paths written by the desktop program may use "\" as well as
// "/"; splitting accepts both.

#include <string>

namespace path {

// Joins with the platform separator; an empty directory gives `name` alone.
std::string Join(const std::string& directory, const std::string& name);
bool Exists(const std::string& path);
bool IsDirectory(const std::string& path);
bool IsRegularFile(const std::string& path);
// Creates the directory and its parents; true when it exists afterwards.
bool CreateDirectory(const std::string& path);
// Copies a file, replacing the target, whole or not at all. False when the
// source cannot be read or the target cannot be written.
bool CopyFile(const std::string& from, const std::string& to);
bool RemoveFile(const std::string& path);

// The last component of a path ("a/b/c.dta" -> "c.dta"), split at "/" or "\".
std::string FileName(const std::string& path);
// The path before its last component ("a/b/c.dta" -> "a/b"), "" if none.
std::string DirectoryOf(const std::string& path);
// File name without its last extension ("a/run.1.mzML" -> "run.1").
std::string BaseName(const std::string& path);
// Last extension without the dot, lower-cased ("x.mzML" -> "mzml").
std::string Extension(const std::string& path);

// The absolute, lexically normal form of a path (as given when that fails).
std::string Absolute(const std::string& path);

// Directory of the running executable (from /proc/self/exe).
std::string ProgramDirectory();

}  // namespace path
