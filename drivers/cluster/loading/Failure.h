#pragma once
// How the commands of `cluster` stop when they cannot go on: the reason on
// their console and exit status 1. The job adds the error marker for the
// desktop program; the plan and the merge answer the workflow, which reads
// the status.

#include <ostream>
#include <string>

namespace clusterjob {

inline int Fail(std::ostream& out, const std::string& message) {
  out << message << "\n";
  return 1;
}

}  // namespace clusterjob
