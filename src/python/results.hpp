#pragma once
// Result dictionaries: outcomes become new Python dicts with fixed keys, key order and value
// types. Each builder returns a new reference, or NULL with the interpreter's exception set
// (for example MemoryError); nothing is ever skipped silently.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "core/outcome.hpp"

namespace mekra::python {

PyObject* build_model_dict(const Model& model);
PyObject* sat_result(const SatOutcome& outcome);
PyObject* lp_result(const LpOutcome& outcome);
PyObject* cp_result(const CpOutcome& outcome);

}  // namespace mekra::python
