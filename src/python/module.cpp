// The extension module `mekra`: initialisation, the four functions, argument binding, and
// the mapping of outcomes to dicts and exceptions. The only code that touches Python objects,
// together with results.cpp.

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <atomic>
#include <cstdio>
#include <new>
#include <string>

#include "calls/calls.hpp"
#include "core/invariant.hpp"
#include "python/results.hpp"

namespace mekra::python {

namespace {

constexpr int api_version = 1013;

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "mekra",
    "Python module: `mekra`.",
    0,        // no per-module state
    nullptr,  // the functions are attached after creation
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

std::atomic<std::int64_t> recorded_interpreter{-1};
PyObject* cached_module = nullptr;
PyObject* panic_exception_type = nullptr;

constexpr const char* panic_exception_doc =
    "The exception raised when native code of the mekra extension fails an internal check.\n"
    "\n"
    "Like SystemExit, it derives from BaseException rather than Exception, so that\n"
    "`except Exception:` does not catch it and it normally propagates all the way up and\n"
    "ends the interpreter. Catch BaseException or this type itself to handle it.";

PyObject* panic_exception() {
    if (panic_exception_type == nullptr)
        panic_exception_type = PyErr_NewExceptionWithDoc("pyo3_runtime.PanicException", panic_exception_doc,
                                                         PyExc_BaseException, nullptr);
    return panic_exception_type;
}

void raise_text(PyObject* type, const std::string& message) {
    PyObject* text = PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size()));
    if (text == nullptr) return;
    PyErr_SetObject(type, text);
    Py_DECREF(text);
}

void raise_panic(const InvariantFailure& failure) {
    const std::source_location& where = failure.where();
    std::fprintf(stderr, "mekra: internal invariant failed in %s at %s:%u: %s\n", where.function_name(),
                 where.file_name(), static_cast<unsigned>(where.line()), failure.message().c_str());
    std::fflush(stderr);
    if (PyObject* type = panic_exception()) raise_text(type, failure.message());
}

PyObject* raise_rejection(const Rejection& rejection) {
    switch (rejection.kind) {
        case Rejection::Kind::BadInput:
            raise_text(PyExc_ValueError, rejection.message);
            break;
        case Rejection::Kind::OutOfMemory:
            raise_text(PyExc_MemoryError, rejection.message);
            break;
    }
    return nullptr;
}

PyObject* to_python(const SatOutcome& outcome) { return sat_result(outcome); }
PyObject* to_python(const LpOutcome& outcome) { return lp_result(outcome); }
PyObject* to_python(const CpOutcome& outcome) { return cp_result(outcome); }

// Binds the single parameter `input` from a fast-call vector, in CPython's order of checks.
// Returns a borrowed reference, or NULL with TypeError set.
PyObject* bind_input(const char* name, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    if (nargs > 1) {
        PyErr_Format(PyExc_TypeError, "%s() takes 1 positional arguments but %zd %s given", name, nargs,
                     nargs == 1 ? "was" : "were");
        return nullptr;
    }
    PyObject* input = nargs == 1 ? args[0] : nullptr;
    Py_ssize_t nkw = kwnames != nullptr ? PyTuple_GET_SIZE(kwnames) : 0;
    for (Py_ssize_t i = 0; i < nkw; ++i) {
        PyObject* keyword = PyTuple_GET_ITEM(kwnames, i);
        if (PyUnicode_Check(keyword) && PyUnicode_CompareWithASCIIString(keyword, "input") == 0) {
            if (input != nullptr) {
                PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument 'input'", name);
                return nullptr;
            }
            input = args[nargs + i];
        } else {
            PyObject* text = PyObject_Str(keyword);
            if (text == nullptr) return nullptr;
            PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", name, text);
            Py_DECREF(text);
            return nullptr;
        }
    }
    if (input == nullptr) {
        PyErr_Format(PyExc_TypeError, "%s() missing 1 required positional argument: 'input'", name);
        return nullptr;
    }
    return input;
}

// The UTF-8 text of `input`, which must be a str or an instance of a str subclass.
bool extract_text(PyObject* input, std::string_view& text) {
    if (!PyType_IsSubtype(Py_TYPE(input), &PyUnicode_Type)) {
        PyObject* qualname =
            PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(input)), "__qualname__");
        if (qualname == nullptr) return false;
        PyErr_Format(PyExc_TypeError, "argument 'input': '%U' object cannot be converted to 'PyString'",
                     qualname);
        Py_DECREF(qualname);
        return false;
    }
    // Fails only with the interpreter's own error (UnicodeEncodeError for a lone surrogate, or
    // MemoryError): a TypeError needs a non-str, which was refused above.
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(input, &size);
    if (data == nullptr) return false;
    text = std::string_view(data, static_cast<std::size_t>(size));
    return true;
}

// One call of a module function: bind, extract, run the body, map its outcome.
template <class Outcome>
PyObject* call(const char* name, CallResult<Outcome> (*body)(std::string_view), PyObject* const* args,
               Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* input = bind_input(name, args, nargs, kwnames);
    if (input == nullptr) return nullptr;
    std::string_view text;
    if (!extract_text(input, text)) return nullptr;
    try {
        CallResult<Outcome> result = body(text);
        if (auto* rejection = std::get_if<Rejection>(&result)) return raise_rejection(*rejection);
        return to_python(std::get<Outcome>(result));
    } catch (const InvariantFailure& failure) {
        raise_panic(failure);
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& e) {
        // Any other C++ exception escaping a solver is a broken invariant too.
        raise_panic(InvariantFailure(e.what(), std::source_location::current()));
    }
    return nullptr;
}

PyObject* solve_sat(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return call("solve_sat", calls::solve_sat_body, args, nargs, kwnames);
}
PyObject* solve_lp_text(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return call("solve_lp_text", calls::solve_lp_text_body, args, nargs, kwnames);
}
PyObject* solve_milp_text(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return call("solve_milp_text", calls::solve_milp_text_body, args, nargs, kwnames);
}
PyObject* solve_cp_text(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return call("solve_cp_text", calls::solve_cp_text_body, args, nargs, kwnames);
}

constexpr int call_flags = METH_FASTCALL | METH_KEYWORDS;

PyMethodDef functions[] = {
    {"solve_sat", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(solve_sat)), call_flags,
     "solve_sat(input)\n--\n\nSolve a SAT problem from DIMACS CNF text.\n"
     "Returns a dict with keys: status, model (if SAT)."},
    {"solve_lp_text", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(solve_lp_text)), call_flags,
     "solve_lp_text(input)\n--\n\nSolve an LP problem from text."},
    {"solve_milp_text", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(solve_milp_text)),
     call_flags, "solve_milp_text(input)\n--\n\nSolve a MILP problem from text."},
    {"solve_cp_text", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(solve_cp_text)), call_flags,
     "solve_cp_text(input)\n--\n\nSolve a CP problem from text."},
};

// Attaches one function: creates it bound to the module, appends its __name__ to __all__
// (creating the list when missing) and sets it as a module attribute.
bool attach(PyObject* module, PyObject* module_name, PyMethodDef* definition) {
    PyObject* function = PyCMethod_New(definition, module, module_name, nullptr);
    if (function == nullptr) return false;
    PyObject* name = PyObject_GetAttrString(function, "__name__");
    bool ok = name != nullptr;
    if (ok) {
        PyObject* all = PyObject_GetAttrString(module, "__all__");
        if (all == nullptr && PyErr_ExceptionMatches(PyExc_AttributeError)) {
            PyErr_Clear();
            all = PyList_New(0);
            if (all != nullptr && PyObject_SetAttrString(module, "__all__", all) != 0) Py_CLEAR(all);
        }
        ok = all != nullptr && PyList_Append(all, name) == 0;
        Py_XDECREF(all);
    }
    ok = ok && PyObject_SetAttr(module, name, function) == 0;
    Py_XDECREF(name);
    Py_DECREF(function);
    return ok;
}

PyObject* initialise() {
    PyInterpreterState* interpreter = PyInterpreterState_Get();
    std::int64_t id = PyInterpreterState_GetID(interpreter);
    if (id == -1) {
        if (!PyErr_Occurred())
            PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
        return nullptr;
    }
    std::int64_t expected = -1;
    if (!recorded_interpreter.compare_exchange_strong(expected, id) && expected != id) {
        PyErr_SetString(PyExc_ImportError,
                        "PyO3 modules do not yet support subinterpreters, see the mekra README: "
                        "the module can be imported by one interpreter per process");
        return nullptr;
    }
    if (cached_module != nullptr) return Py_NewRef(cached_module);

    PyObject* module = PyModule_Create2(&module_definition, api_version);
    if (module == nullptr) return nullptr;
    PyObject* module_name = PyModule_GetNameObject(module);
    bool ok = module_name != nullptr;
    for (PyMethodDef& definition : functions) ok = ok && attach(module, module_name, &definition);
    Py_XDECREF(module_name);
    if (!ok) {
        Py_DECREF(module);
        return nullptr;
    }
    cached_module = Py_NewRef(module);
    return module;
}

}  // namespace

}  // namespace mekra::python

PyMODINIT_FUNC PyInit_mekra() { return mekra::python::initialise(); }
