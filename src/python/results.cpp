#include "python/results.hpp"

#include <charconv>
#include <string>
#include <string_view>

namespace mekra::python {

namespace {

// The int of a decimal text ("-" then digits) of any length. Newer CPythons refuse to convert
// decimal texts longer than a limit (4300 digits by default) in one go, so the digits are
// taken in chunks below it: value = value * 10^len(chunk) + chunk.
PyObject* long_from_decimal(const std::string& text) {
    constexpr std::size_t CHUNK = 1000;
    const bool negative = !text.empty() && text[0] == '-';
    const std::string_view digits = std::string_view(text).substr(negative ? 1 : 0);
    PyObject* value = PyLong_FromLong(0);
    for (std::size_t at = 0; value != nullptr && at < digits.size(); at += CHUNK) {
        const std::string chunk(digits.substr(at, CHUNK));
        PyObject* part = PyLong_FromString(chunk.c_str(), nullptr, 10);
        PyObject* ten = PyLong_FromLong(10);
        PyObject* exponent = PyLong_FromSize_t(chunk.size());
        PyObject* scale = ten && exponent ? PyNumber_Power(ten, exponent, Py_None) : nullptr;
        PyObject* shifted = scale ? PyNumber_Multiply(value, scale) : nullptr;
        PyObject* sum = shifted && part ? PyNumber_Add(shifted, part) : nullptr;
        Py_XDECREF(part);
        Py_XDECREF(ten);
        Py_XDECREF(exponent);
        Py_XDECREF(scale);
        Py_XDECREF(shifted);
        Py_DECREF(value);
        value = sum;
    }
    if (value != nullptr && negative) {
        PyObject* negated = PyNumber_Negative(value);
        Py_DECREF(value);
        value = negated;
    }
    return value;
}

PyObject* value_object(const ModelValue& value) {
    switch (value.kind()) {
        case ModelValue::Kind::Bool:
            return Py_NewRef(value.as_bool() ? Py_True : Py_False);
        case ModelValue::Kind::Int:
            if (value.is_wide()) return long_from_decimal(value.digits());
            return PyLong_FromLongLong(value.as_int());
        case ModelValue::Kind::Float:
            return PyFloat_FromDouble(value.as_float());
    }
    PyErr_SetString(PyExc_SystemError, "unknown model value kind");
    return nullptr;
}

PyObject* key_object(std::uint64_t index) {
    char buffer[24] = {'x'};
    auto [end, ec] = std::to_chars(buffer + 1, buffer + sizeof buffer, index);
    (void)ec;  // 20 digits always fit
    return PyUnicode_FromStringAndSize(buffer, end - buffer);
}

// Inserts dict[key] = value, taking ownership of value. False with an exception set on failure.
bool set_owned(PyObject* dict, const char* key, PyObject* value) {
    if (value == nullptr) return false;
    int status = PyDict_SetItemString(dict, key, value);
    Py_DECREF(value);
    return status == 0;
}

// A dict holding "status", then optionally "model" and "objective".
PyObject* result_dict(const char* status, const Model* model, const double* objective) {
    PyObject* dict = PyDict_New();
    if (dict == nullptr) return nullptr;
    bool ok = set_owned(dict, "status", PyUnicode_FromString(status));
    if (ok && model != nullptr) ok = set_owned(dict, "model", build_model_dict(*model));
    if (ok && objective != nullptr) ok = set_owned(dict, "objective", PyFloat_FromDouble(*objective));
    if (!ok) Py_CLEAR(dict);
    return dict;
}

}  // namespace

PyObject* build_model_dict(const Model& model) {
    PyObject* dict = PyDict_New();
    if (dict == nullptr) return nullptr;
    for (const ModelEntry& entry : model) {
        PyObject* key = key_object(entry.index);
        PyObject* value = key != nullptr ? value_object(entry.value) : nullptr;
        bool ok = value != nullptr && PyDict_SetItem(dict, key, value) == 0;
        Py_XDECREF(key);
        Py_XDECREF(value);
        if (!ok) {
            Py_DECREF(dict);
            return nullptr;
        }
    }
    return dict;
}

PyObject* sat_result(const SatOutcome& outcome) {
    if (!outcome.satisfiable) return result_dict("UNSAT", nullptr, nullptr);
    return result_dict("SAT", &outcome.model, nullptr);
}

PyObject* lp_result(const LpOutcome& outcome) {
    std::string status = status_text(outcome);
    switch (outcome.kind) {
        case LpOutcome::Kind::Optimal:
            return result_dict(status.c_str(), &outcome.model, &outcome.objective);
        case LpOutcome::Kind::Feasible:
            return result_dict(status.c_str(), &outcome.model, nullptr);
        default:
            return result_dict(status.c_str(), nullptr, nullptr);
    }
}

PyObject* cp_result(const CpOutcome& outcome) {
    if (!outcome) return result_dict("UNSAT", nullptr, nullptr);
    return result_dict("SAT", &*outcome, nullptr);
}

}  // namespace mekra::python
