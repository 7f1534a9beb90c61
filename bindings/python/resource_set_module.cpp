// SPDX-License-Identifier: MIT
// The resource_set module: libresource_set for CPython, built on the
// limited API of Python 3.11 (one binary for every later version).
//
// An open set is a Set; its entries are Entry objects that copy their
// fields and hold their Set, so that they outlive its closing.  A Set
// counts its users, the reads under way (which run without the GIL) and
// the writers that copy from it: close() makes it refuse new work at once,
// and the C set is closed when the last user is done.  Every counter is
// changed with the GIL held.  No C++ exception leaves a function of this
// file.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "resource_set.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

PyObject* error_type = nullptr;
PyObject* set_type = nullptr;
PyObject* entry_type = nullptr;
PyObject* writer_type = nullptr;
PyObject* finding_type = nullptr;

struct set_object {
    PyObject ob_base;
    resource_set* set;
    Py_buffer memory; // what open_memory reads, held while the C set is open
    bool has_memory;
    bool closed;
    Py_ssize_t users;
};

struct entry_object {
    PyObject ob_base;
    set_object* owner;
    PyObject* name; // bytes
    std::uint32_t index;
    std::uint32_t word1;
    std::uint32_t word2;
    std::uint32_t size;
    std::uint64_t offset;
};

// What a writer holds until its commit or abandon: the payloads of
// add_memory and the sets of add_entry.
struct writer_holds {
    std::vector<Py_buffer> payloads;
    std::vector<set_object*> sources;
};

struct writer_object {
    PyObject ob_base;
    resource_set_writer* writer;
    writer_holds* holds;
    PyObject* path; // bytes, for the messages of the commit
};

// PyMethodDef's functions of other signatures, through the one cast that
// no compiler warns about.
template <typename Function>
PyCFunction method(Function function)
{
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

template <typename Function>
void* slot(Function function)
{
    return reinterpret_cast<void*>(function);
}

// The GIL released for as long as it lasts, around a call of the library
// that reads or writes files; errno is cleared at its start.
class without_gil {
public:
    without_gil() : saved(PyEval_SaveThread())
    {
        errno = 0;
    }
    without_gil(const without_gil&) = delete;
    without_gil& operator=(const without_gil&) = delete;
    ~without_gil()
    {
        PyEval_RestoreThread(saved);
    }

private:
    PyThreadState* saved;
};

// ---- Errors -----------------------------------------------------------

// errno after a call that failed with OPEN or READ: the system's reason.
int system_reason(resource_set_status status, int saved)
{
    return status == RESOURCE_SET_ERROR_OPEN || status == RESOURCE_SET_ERROR_READ ? saved : 0;
}

// Raises Error(status, text), with errno and strerror the system's reason
// when there is one, and filename when one is concerned; returns null.
PyObject* raise_status(resource_set_status status, PyObject* filename = nullptr, int reason = 0)
{
    PyObject* const error =
        PyObject_CallFunction(error_type, "is", static_cast<int>(status), resource_set_error_text(status));
    if (error == nullptr) {
        return nullptr;
    }
    PyObject* const code = reason != 0 ? PyLong_FromLong(reason) : Py_NewRef(Py_None);
    PyObject* const text =
        reason != 0 ? PyUnicode_DecodeLocale(std::strerror(reason), "surrogateescape") : Py_NewRef(Py_None);
    PyObject* name = Py_None;
    if (filename != nullptr) {
        name = PyUnicode_DecodeFSDefaultAndSize(PyBytes_AsString(filename), PyBytes_Size(filename));
    }
    if (code != nullptr && text != nullptr && name != nullptr && PyObject_SetAttrString(error, "errno", code) == 0 &&
        PyObject_SetAttrString(error, "strerror", text) == 0 && PyObject_SetAttrString(error, "filename", name) == 0) {
        PyErr_SetObject(error_type, error);
    }
    Py_XDECREF(code);
    Py_XDECREF(text);
    if (name != Py_None) {
        Py_XDECREF(name);
    }
    Py_DECREF(error);
    return nullptr;
}

PyObject* error_status(PyObject* self, void* /*unused*/)
{
    PyObject* const args = PyObject_GetAttrString(self, "args");
    if (args == nullptr) {
        return nullptr;
    }
    PyObject* status = Py_None;
    if (PyTuple_Check(args) && PyTuple_Size(args) >= 1 && PyLong_Check(PyTuple_GetItem(args, 0))) {
        status = PyTuple_GetItem(args, 0);
    }
    Py_INCREF(status);
    Py_DECREF(args);
    return status;
}

// "TEXT: 'FILENAME' (STRERROR)", each part where there is one.
PyObject* error_str(PyObject* self)
{
    PyObject* const args = PyObject_GetAttrString(self, "args");
    if (args == nullptr) {
        return nullptr;
    }
    if (!PyTuple_Check(args) || PyTuple_Size(args) != 2) {
        // Not one this module raised: as any exception says its arguments.
        PyObject* const text = PyTuple_Check(args) && PyTuple_Size(args) == 1 ? PyObject_Str(PyTuple_GetItem(args, 0))
                                                                              : PyObject_Str(args);
        Py_DECREF(args);
        return text;
    }
    PyObject* text = PyObject_Str(PyTuple_GetItem(args, 1));
    Py_DECREF(args);
    for (const char* const field : {"filename", "strerror"}) {
        PyObject* const value = text != nullptr ? PyObject_GetAttrString(self, field) : nullptr;
        if (value == nullptr) {
            Py_XDECREF(text);
            return nullptr;
        }
        if (value != Py_None) {
            PyObject* const longer = std::strcmp(field, "filename") == 0 ? PyUnicode_FromFormat("%U: %R", text, value)
                                                                         : PyUnicode_FromFormat("%U (%S)", text, value);
            Py_DECREF(text);
            text = longer;
        }
        Py_DECREF(value);
    }
    return text;
}

PyGetSetDef error_getset[] = {
    {"status", error_status, nullptr, "The library's status, a resource_set_status number (ERROR_OPEN...).", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot error_slots[] = {
    {Py_tp_str, slot(error_str)},
    {Py_tp_getset, error_getset},
    {Py_tp_doc, const_cast<char*>("A call of the library failed.\n\n"
                                  "args is (status, text): the library's status number and its sentence, which\n"
                                  "the attribute status and str() give too.  errno and strerror are the\n"
                                  "system's reason when the file could not be opened or read, and None\n"
                                  "otherwise; filename is the path concerned, or None.")},
    {0, nullptr},
};

PyType_Spec error_spec = {"resource_set.Error", 0, 0, Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE, error_slots};

// ---- Arguments --------------------------------------------------------

// A name as the library takes it: the bytes of a bytes object, or the
// UTF-8 of a str.  Null, with an exception, for anything else.
const char* name_bytes(PyObject* name, Py_ssize_t* length)
{
    if (PyBytes_Check(name)) {
        char* bytes = nullptr;
        return PyBytes_AsStringAndSize(name, &bytes, length) == 0 ? bytes : nullptr;
    }
    if (PyUnicode_Check(name)) {
        return PyUnicode_AsUTF8AndSize(name, length);
    }
    PyErr_SetString(PyExc_TypeError, "a name is str or bytes");
    return nullptr;
}

// The same for the writer, which stores names as C strings: one with a
// zero byte in it is refused.
const char* stored_name(PyObject* name)
{
    Py_ssize_t length = 0;
    const char* const bytes = name_bytes(name, &length);
    if (bytes != nullptr && std::memchr(bytes, 0, static_cast<std::size_t>(length)) != nullptr) {
        PyErr_SetString(PyExc_ValueError, "embedded null byte in a name");
        return nullptr;
    }
    return bytes;
}

// ---- Set --------------------------------------------------------------

PyObject* as_object(set_object* set)
{
    return reinterpret_cast<PyObject*>(set);
}

void finish_close(set_object* self)
{
    if (self->closed && self->users == 0 && self->set != nullptr) {
        resource_set_close(self->set);
        self->set = nullptr;
        if (self->has_memory) {
            PyBuffer_Release(&self->memory);
            self->has_memory = false;
        }
    }
}

// A use of a set, counted while it lasts.
class set_use {
public:
    explicit set_use(set_object* set) : used(set)
    {
        ++used->users;
    }
    set_use(const set_use&) = delete;
    set_use& operator=(const set_use&) = delete;
    ~set_use()
    {
        --used->users;
        finish_close(used);
    }

private:
    set_object* used;
};

bool is_open(set_object* self)
{
    if (self->closed) {
        PyErr_SetString(PyExc_ValueError, "the set is closed");
        return false;
    }
    return true;
}

PyObject* new_set(resource_set* set, const Py_buffer* memory)
{
    auto* const self = reinterpret_cast<set_object*>(PyType_GenericAlloc(reinterpret_cast<PyTypeObject*>(set_type), 0));
    if (self == nullptr) {
        resource_set_close(set);
        return nullptr;
    }
    self->set = set;
    self->closed = false;
    self->users = 0;
    self->has_memory = memory != nullptr;
    if (memory != nullptr) {
        self->memory = *memory;
    }
    return reinterpret_cast<PyObject*>(self);
}

void set_dealloc(PyObject* object)
{
    auto* const self = reinterpret_cast<set_object*>(object);
    self->closed = true;
    finish_close(self);
    PyTypeObject* const type = Py_TYPE(object);
    PyObject_Free(object);
    Py_DECREF(type);
}

PyObject* new_entry(set_object* owner, const resource_set_entry* entry, std::uint32_t index)
{
    PyObject* const name = PyBytes_FromString(entry->name);
    if (name == nullptr) {
        return nullptr;
    }
    auto* const self =
        reinterpret_cast<entry_object*>(PyType_GenericAlloc(reinterpret_cast<PyTypeObject*>(entry_type), 0));
    if (self == nullptr) {
        Py_DECREF(name);
        return nullptr;
    }
    Py_INCREF(as_object(owner));
    self->owner = owner;
    self->name = name;
    self->index = index;
    self->word1 = entry->word1;
    self->word2 = entry->word2;
    self->size = entry->size;
    self->offset = entry->offset;
    return reinterpret_cast<PyObject*>(self);
}

// The library's entry that an Entry of this set stands for; null, with
// an exception, for an Entry of another set.
const resource_set_entry* own_entry(set_object* self, PyObject* object)
{
    auto* const entry = reinterpret_cast<entry_object*>(object);
    if (entry->owner != self) {
        raise_status(RESOURCE_SET_ERROR_ARGUMENT);
        return nullptr;
    }
    return resource_set_entry_at(self->set, entry->index);
}

PyObject* set_find_entry(set_object* self, PyObject* name)
{
    Py_ssize_t length = 0;
    const char* const bytes = name_bytes(name, &length);
    if (bytes == nullptr) {
        return nullptr;
    }
    const resource_set_entry* const found = resource_set_find_n(self->set, bytes, static_cast<std::size_t>(length));
    if (found == nullptr) {
        Py_RETURN_NONE;
    }
    // The entries are one array: the found one's place in it is its index.
    const resource_set_entry* const first = resource_set_entry_at(self->set, 0);
    return new_entry(self, found, static_cast<std::uint32_t>(found - first));
}

PyObject* set_find(PyObject* object, PyObject* name)
{
    auto* const self = reinterpret_cast<set_object*>(object);
    return is_open(self) ? set_find_entry(self, name) : nullptr;
}

PyObject* set_subscript(PyObject* object, PyObject* name)
{
    auto* const self = reinterpret_cast<set_object*>(object);
    if (!is_open(self)) {
        return nullptr;
    }
    PyObject* const entry = set_find_entry(self, name);
    if (entry == Py_None) {
        Py_DECREF(entry);
        PyErr_SetObject(PyExc_KeyError, name);
        return nullptr;
    }
    return entry;
}

int set_contains(PyObject* object, PyObject* name)
{
    PyObject* const entry = set_find(object, name);
    if (entry == nullptr) {
        return -1;
    }
    const int found = entry != Py_None ? 1 : 0;
    Py_DECREF(entry);
    return found;
}

Py_ssize_t set_length(PyObject* object)
{
    auto* const self = reinterpret_cast<set_object*>(object);
    return is_open(self) ? static_cast<Py_ssize_t>(resource_set_count(self->set)) : -1;
}

PyObject* set_iter(PyObject* object)
{
    auto* const self = reinterpret_cast<set_object*>(object);
    if (!is_open(self)) {
        return nullptr;
    }
    const std::uint32_t count = resource_set_count(self->set);
    PyObject* const entries = PyList_New(static_cast<Py_ssize_t>(count));
    if (entries == nullptr) {
        return nullptr;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        PyObject* const entry = new_entry(self, resource_set_entry_at(self->set, i), i);
        if (entry == nullptr) {
            Py_DECREF(entries);
            return nullptr;
        }
        PyList_SetItem(entries, static_cast<Py_ssize_t>(i), entry);
    }
    PyObject* const iterator = PyObject_GetIter(entries);
    Py_DECREF(entries);
    return iterator;
}

// Reads with the GIL released, the set counted as used meanwhile.
resource_set_status read_released(set_object* self, const resource_set_entry* entry, std::uint64_t offset, void* buffer,
                                  std::size_t length, std::size_t* got, int* reason)
{
    const set_use use(self);
    const without_gil released;
    const resource_set_status status = resource_set_read(self->set, entry, offset, buffer, length, got);
    *reason = system_reason(status, errno);
    return status;
}

bool parse_offset(long long value, std::uint64_t* offset)
{
    if (value < 0) {
        PyErr_SetString(PyExc_ValueError, "offset must not be negative");
        return false;
    }
    *offset = static_cast<std::uint64_t>(value);
    return true;
}

PyObject* set_read(PyObject* object, PyObject* args, PyObject* keywords)
{
    auto* const self = reinterpret_cast<set_object*>(object);
    static std::array<char*, 4> names{const_cast<char*>("entry"), const_cast<char*>("offset"),
                                      const_cast<char*>("size"), nullptr};
    PyObject* entry_arg = nullptr;
    long long offset_arg = 0;
    Py_ssize_t size = -1;
    std::uint64_t offset = 0;
    if (!PyArg_ParseTupleAndKeywords(args, keywords, "O!|Ln:read", names.data(), entry_type, &entry_arg, &offset_arg,
                                     &size) ||
        !parse_offset(offset_arg, &offset) || !is_open(self)) {
        return nullptr;
    }
    if (size < -1) {
        PyErr_SetString(PyExc_ValueError, "size must be -1 (the rest) or not negative");
        return nullptr;
    }
    const resource_set_entry* const entry = own_entry(self, entry_arg);
    if (entry == nullptr) {
        return nullptr;
    }
    const std::uint64_t left = offset <= entry->size ? entry->size - offset : 0;
    const auto want = static_cast<Py_ssize_t>(size < 0 ? left : std::min(left, static_cast<std::uint64_t>(size)));
    PyObject* bytes = PyBytes_FromStringAndSize(nullptr, want);
    if (bytes == nullptr) {
        return nullptr;
    }
    std::size_t got = 0;
    int reason = 0;
    const resource_set_status status =
        read_released(self, entry, offset, PyBytes_AsString(bytes), static_cast<std::size_t>(want), &got, &reason);
    if (status != RESOURCE_SET_OK) {
        Py_DECREF(bytes);
        return raise_status(status, nullptr, reason);
    }
    if (got != static_cast<std::size_t>(want)) {
        PyObject* const shorter = PyBytes_FromStringAndSize(PyBytes_AsString(bytes), static_cast<Py_ssize_t>(got));
        Py_DECREF(bytes);
        bytes = shorter;
    }
    return bytes;
}

PyObject* set_readinto(PyObject* object, PyObject* args, PyObject* keywords)
{
    auto* const self = reinterpret_cast<set_object*>(object);
    static std::array<char*, 4> names{const_cast<char*>("entry"), const_cast<char*>("buffer"),
                                      const_cast<char*>("offset"), nullptr};
    PyObject* entry_arg = nullptr;
    Py_buffer view;
    long long offset_arg = 0;
    if (!PyArg_ParseTupleAndKeywords(args, keywords, "O!w*|L:readinto", names.data(), entry_type, &entry_arg, &view,
                                     &offset_arg)) {
        return nullptr;
    }
    std::uint64_t offset = 0;
    const resource_set_entry* const entry =
        parse_offset(offset_arg, &offset) && is_open(self) ? own_entry(self, entry_arg) : nullptr;
    std::size_t got = 0;
    int reason = 0;
    const resource_set_status status =
        entry != nullptr
            ? read_released(self, entry, offset, view.buf, static_cast<std::size_t>(view.len), &got, &reason)
            : RESOURCE_SET_OK;
    PyBuffer_Release(&view);
    if (entry == nullptr) {
        return nullptr;
    }
    if (status != RESOURCE_SET_OK) {
        return raise_status(status, nullptr, reason);
    }
    return PyLong_FromSize_t(got);
}

PyObject* set_close(PyObject* object, PyObject* /*unused*/)
{
    auto* const self = reinterpret_cast<set_object*>(object);
    self->closed = true;
    finish_close(self);
    Py_RETURN_NONE;
}

PyObject* set_enter(PyObject* object, PyObject* /*unused*/)
{
    auto* const self = reinterpret_cast<set_object*>(object);
    if (!is_open(self)) {
        return nullptr;
    }
    return Py_NewRef(object);
}

PyObject* set_exit(PyObject* object, PyObject* /*unused*/)
{
    PyObject* const closed = set_close(object, nullptr);
    Py_XDECREF(closed);
    Py_RETURN_FALSE;
}

PyObject* set_keep_count(PyObject* object, void* /*unused*/)
{
    auto* const self = reinterpret_cast<set_object*>(object);
    return is_open(self) ? PyLong_FromUnsignedLong(resource_set_keep_count(self->set)) : nullptr;
}

PyObject* set_closed(PyObject* object, void* /*unused*/)
{
    return PyBool_FromLong(reinterpret_cast<set_object*>(object)->closed ? 1 : 0);
}

PyMethodDef set_methods[] = {
    {"find", set_find, METH_O,
     "find($self, name, /)\n--\n\n"
     "The last entry in table order whose name is name (str, as UTF-8, or bytes),\n"
     "byte for byte; None when there is none."},
    {"read", method(set_read), METH_VARARGS | METH_KEYWORDS,
     "read($self, /, entry, offset=0, size=-1)\n--\n\n"
     "Up to size bytes of entry's payload from offset on (-1: all the rest), short\n"
     "only at the payload's end.  An offset past the end raises Error\n"
     "(ERROR_RANGE).  The GIL is released while the bytes are read."},
    {"readinto", method(set_readinto), METH_VARARGS | METH_KEYWORDS,
     "readinto($self, /, entry, buffer, offset=0)\n--\n\n"
     "Reads entry's payload from offset on straight into buffer, any writable\n"
     "contiguous buffer (bytearray, memoryview, mmap...), as much as fits or is\n"
     "left, and returns the count.  The GIL is released while the bytes are read."},
    {"close", set_close, METH_NOARGS,
     "close($self, /)\n--\n\n"
     "Closes the set: it refuses every use from now on.  Reads under way on\n"
     "other threads and writers that copy from it finish first.  Closing again\n"
     "does nothing."},
    {"__enter__", set_enter, METH_NOARGS, "Returns the set."},
    {"__exit__", set_exit, METH_VARARGS, "Closes the set."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef set_getset[] = {
    {"keep_count", set_keep_count, nullptr, "The number of entries before the discard point: the ones a program keeps.",
     nullptr},
    {"closed", set_closed, nullptr, "True once close() was called.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot set_slots[] = {
    {Py_tp_dealloc, slot(set_dealloc)},
    {Py_tp_methods, set_methods},
    {Py_tp_getset, set_getset},
    {Py_tp_iter, slot(set_iter)},
    {Py_mp_length, slot(set_length)},
    {Py_mp_subscript, slot(set_subscript)},
    {Py_sq_contains, slot(set_contains)},
    {Py_tp_doc, const_cast<char*>("An open resource set, given by open() or open_memory().\n\n"
                                  "len(s) is its number of entries; iterating gives them in table order;\n"
                                  "s[name] is the last entry of that name (KeyError when there is none) and\n"
                                  "name in s tells whether there is one.  A context manager: the set is\n"
                                  "closed at the end of the with block.  Any number of threads may read it\n"
                                  "at once.")},
    {0, nullptr},
};

PyType_Spec set_spec = {"resource_set.Set", sizeof(set_object), 0,
                        Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION, set_slots};

// ---- Entry ------------------------------------------------------------

void entry_dealloc(PyObject* object)
{
    auto* const self = reinterpret_cast<entry_object*>(object);
    Py_XDECREF(self->name);
    Py_XDECREF(as_object(self->owner));
    PyTypeObject* const type = Py_TYPE(object);
    PyObject_Free(object);
    Py_DECREF(type);
}

entry_object* as_entry(PyObject* object)
{
    return reinterpret_cast<entry_object*>(object);
}

PyObject* entry_name(PyObject* object, void* /*unused*/)
{
    return Py_NewRef(as_entry(object)->name);
}

PyObject* entry_text_name(PyObject* object, void* /*unused*/)
{
    PyObject* const name = as_entry(object)->name;
    PyObject* const text = PyUnicode_DecodeUTF8(PyBytes_AsString(name), PyBytes_Size(name), "strict");
    if (text == nullptr && PyErr_ExceptionMatches(PyExc_UnicodeDecodeError) != 0) {
        PyErr_Clear();
        Py_RETURN_NONE;
    }
    return text;
}

PyObject* entry_word1(PyObject* object, void* /*unused*/)
{
    return PyLong_FromUnsignedLong(as_entry(object)->word1);
}

PyObject* entry_word2(PyObject* object, void* /*unused*/)
{
    return PyLong_FromUnsignedLong(as_entry(object)->word2);
}

PyObject* entry_size(PyObject* object, void* /*unused*/)
{
    return PyLong_FromUnsignedLong(as_entry(object)->size);
}

PyObject* entry_offset(PyObject* object, void* /*unused*/)
{
    return PyLong_FromUnsignedLongLong(as_entry(object)->offset);
}

PyObject* entry_index(PyObject* object, void* /*unused*/)
{
    return PyLong_FromUnsignedLong(as_entry(object)->index);
}

// Entries are equal when they are the same entry of the same Set.
PyObject* entry_compare(PyObject* object, PyObject* other, int operation)
{
    if ((operation != Py_EQ && operation != Py_NE) ||
        PyObject_TypeCheck(other, reinterpret_cast<PyTypeObject*>(entry_type)) == 0) {
        Py_RETURN_NOTIMPLEMENTED;
    }
    const bool same =
        as_entry(object)->owner == as_entry(other)->owner && as_entry(object)->index == as_entry(other)->index;
    return PyBool_FromLong(same == (operation == Py_EQ) ? 1 : 0);
}

Py_hash_t entry_hash(PyObject* object)
{
    const entry_object* const self = as_entry(object);
    // Unsigned, so that it wraps; -1 is no hash to Python.
    const std::uintptr_t mixed = (reinterpret_cast<std::uintptr_t>(self->owner) >> 4U) * 1000003U + self->index;
    const auto hash = static_cast<Py_hash_t>(mixed);
    return hash == -1 ? -2 : hash;
}

PyObject* entry_repr(PyObject* object)
{
    const entry_object* const self = as_entry(object);
    return PyUnicode_FromFormat("<resource_set.Entry %u %R, %u bytes>", static_cast<unsigned>(self->index), self->name,
                                static_cast<unsigned>(self->size));
}

PyGetSetDef entry_getset[] = {
    {"name", entry_name, nullptr, "The name as stored, bytes.", nullptr},
    {"text_name", entry_text_name, nullptr, "The name as str when it is valid UTF-8; None otherwise.", nullptr},
    {"word1", entry_word1, nullptr, "The first of the two words the resource file carried.", nullptr},
    {"word2", entry_word2, nullptr, "The second of the two words the resource file carried.", nullptr},
    {"size", entry_size, nullptr, "The payload's length in bytes.", nullptr},
    {"offset", entry_offset, nullptr, "Where the payload starts, in bytes from the start of the set.", nullptr},
    {"index", entry_index, nullptr, "The entry's place in the table, from 0.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot entry_slots[] = {
    {Py_tp_dealloc, slot(entry_dealloc)},
    {Py_tp_getset, entry_getset},
    {Py_tp_repr, slot(entry_repr)},
    {Py_tp_richcompare, slot(entry_compare)},
    {Py_tp_hash, slot(entry_hash)},
    {Py_tp_doc, const_cast<char*>("One entry of a set's table.  Its fields are copied when it is made, and it\n"
                                  "keeps its set alive, so that it stays usable once the set is closed; only\n"
                                  "reading its payload needs the set open.  Two entries are equal when they\n"
                                  "are the same entry of the same set.")},
    {0, nullptr},
};

PyType_Spec entry_spec = {"resource_set.Entry", sizeof(entry_object), 0,
                          Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION, entry_slots};

// ---- Writer -----------------------------------------------------------

writer_object* as_writer(PyObject* object)
{
    return reinterpret_cast<writer_object*>(object);
}

// Gives back what the writer held; the C writer is gone already.
void release_holds(writer_object* self)
{
    writer_holds* const holds = self->holds;
    self->holds = nullptr;
    if (holds == nullptr) {
        return;
    }
    for (Py_buffer& payload : holds->payloads) {
        PyBuffer_Release(&payload);
    }
    for (set_object* const source : holds->sources) {
        --source->users;
        finish_close(source);
        Py_DECREF(as_object(source));
    }
    delete holds;
}

// Frees an uncommitted writer.  One whose commit runs on another thread is
// left to it: the commit gives back what the writer holds once it is done.
void abandon_writer(writer_object* self)
{
    if (self->writer == nullptr) {
        return;
    }
    resource_set_writer_abandon(self->writer);
    self->writer = nullptr;
    release_holds(self);
}

bool writer_is_open(writer_object* self)
{
    if (self->writer == nullptr) {
        PyErr_SetString(PyExc_ValueError, "the writer is committed or abandoned");
        return false;
    }
    return true;
}

PyObject* writer_new(PyTypeObject* type, PyObject* args, PyObject* keywords)
{
    static std::array<char*, 2> names{const_cast<char*>("path"), nullptr};
    PyObject* path = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, keywords, "O&:Writer", names.data(), PyUnicode_FSConverter, &path)) {
        return nullptr;
    }
    auto* const self = reinterpret_cast<writer_object*>(PyType_GenericAlloc(type, 0));
    if (self == nullptr) {
        Py_DECREF(path);
        return nullptr;
    }
    self->path = path;
    self->holds = new (std::nothrow) writer_holds;
    if (self->holds == nullptr) {
        Py_DECREF(self);
        return PyErr_NoMemory();
    }
    const resource_set_status status = resource_set_writer_create(PyBytes_AsString(path), &self->writer);
    if (status != RESOURCE_SET_OK) {
        raise_status(status, path);
        Py_DECREF(self);
        return nullptr;
    }
    return reinterpret_cast<PyObject*>(self);
}

void writer_dealloc(PyObject* object)
{
    writer_object* const self = as_writer(object);
    abandon_writer(self);
    release_holds(self);
    Py_XDECREF(self->path);
    PyTypeObject* const type = Py_TYPE(object);
    PyObject_Free(object);
    Py_DECREF(type);
}

PyObject* writer_add_memory(PyObject* object, PyObject* args, PyObject* keywords)
{
    writer_object* const self = as_writer(object);
    static std::array<char*, 5> names{const_cast<char*>("name"), const_cast<char*>("word1"), const_cast<char*>("word2"),
                                      const_cast<char*>("data"), nullptr};
    PyObject* name = nullptr;
    unsigned long word1 = 0;
    unsigned long word2 = 0;
    PyObject* data = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, keywords, "OkkO:add_memory", names.data(), &name, &word1, &word2, &data) ||
        !writer_is_open(self)) {
        return nullptr;
    }
    if (word1 > UINT32_MAX || word2 > UINT32_MAX) {
        PyErr_SetString(PyExc_OverflowError, "a word is a 32-bit unsigned number");
        return nullptr;
    }
    const char* const stored = stored_name(name);
    Py_buffer payload;
    if (stored == nullptr || PyObject_GetBuffer(data, &payload, PyBUF_SIMPLE) != 0) {
        return nullptr;
    }
    try {
        self->holds->payloads.reserve(self->holds->payloads.size() + 1);
    } catch (const std::bad_alloc&) {
        PyBuffer_Release(&payload);
        return PyErr_NoMemory();
    }
    const resource_set_status status = resource_set_writer_add_memory(
        self->writer, stored, static_cast<std::uint32_t>(word1), static_cast<std::uint32_t>(word2), payload.buf,
        static_cast<std::size_t>(payload.len));
    if (status != RESOURCE_SET_OK) {
        PyBuffer_Release(&payload);
        return raise_status(status);
    }
    self->holds->payloads.push_back(payload);
    Py_RETURN_NONE;
}

PyObject* writer_add_file(PyObject* object, PyObject* args, PyObject* keywords)
{
    writer_object* const self = as_writer(object);
    static std::array<char*, 3> names{const_cast<char*>("name"), const_cast<char*>("path"), nullptr};
    PyObject* name = nullptr;
    PyObject* path = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, keywords, "OO&:add_file", names.data(), &name, PyUnicode_FSConverter,
                                     &path)) {
        return nullptr;
    }
    const char* const stored = writer_is_open(self) ? stored_name(name) : nullptr;
    if (stored == nullptr) {
        Py_DECREF(path);
        return nullptr;
    }
    errno = 0;
    const resource_set_status status = resource_set_writer_add_file(self->writer, stored, PyBytes_AsString(path));
    const int reason = system_reason(status, errno);
    PyObject* const result = status == RESOURCE_SET_OK ? Py_NewRef(Py_None) : raise_status(status, path, reason);
    Py_DECREF(path);
    return result;
}

PyObject* writer_add_entry(PyObject* object, PyObject* args, PyObject* keywords)
{
    writer_object* const self = as_writer(object);
    static std::array<char*, 4> names{const_cast<char*>("name"), const_cast<char*>("set"), const_cast<char*>("entry"),
                                      nullptr};
    PyObject* name = nullptr;
    PyObject* source_arg = nullptr;
    PyObject* entry_arg = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, keywords, "OO!O!:add_entry", names.data(), &name, set_type, &source_arg,
                                     entry_type, &entry_arg) ||
        !writer_is_open(self)) {
        return nullptr;
    }
    auto* const source = reinterpret_cast<set_object*>(source_arg);
    const char* const stored = stored_name(name);
    if (stored == nullptr || !is_open(source)) {
        return nullptr;
    }
    const resource_set_entry* const entry = own_entry(source, entry_arg);
    if (entry == nullptr) {
        return nullptr;
    }
    try {
        self->holds->sources.reserve(self->holds->sources.size() + 1);
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    }
    const resource_set_status status = resource_set_writer_add_entry(self->writer, stored, source->set, entry);
    if (status != RESOURCE_SET_OK) {
        return raise_status(status);
    }
    // The set stays open, and alive, until the commit has read it.
    Py_INCREF(as_object(source));
    ++source->users;
    self->holds->sources.push_back(source);
    Py_RETURN_NONE;
}

PyObject* writer_discard(PyObject* object, PyObject* /*unused*/)
{
    writer_object* const self = as_writer(object);
    if (!writer_is_open(self)) {
        return nullptr;
    }
    const resource_set_status status = resource_set_writer_discard(self->writer);
    return status == RESOURCE_SET_OK ? Py_NewRef(Py_None) : raise_status(status);
}

PyObject* writer_commit(PyObject* object, PyObject* /*unused*/)
{
    writer_object* const self = as_writer(object);
    if (!writer_is_open(self)) {
        return nullptr;
    }
    resource_set_writer* const writer = self->writer;
    self->writer = nullptr;
    resource_set_status status = RESOURCE_SET_OK;
    int reason = 0;
    {
        const without_gil released;
        status = resource_set_writer_commit(writer);
        reason = system_reason(status, errno);
    }
    release_holds(self);
    return status == RESOURCE_SET_OK ? Py_NewRef(Py_None) : raise_status(status, self->path, reason);
}

PyObject* writer_abandon(PyObject* object, PyObject* /*unused*/)
{
    abandon_writer(as_writer(object));
    Py_RETURN_NONE;
}

PyObject* writer_enter(PyObject* object, PyObject* /*unused*/)
{
    return writer_is_open(as_writer(object)) ? Py_NewRef(object) : nullptr;
}

PyObject* writer_exit(PyObject* object, PyObject* args)
{
    writer_object* const self = as_writer(object);
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    if (PyArg_UnpackTuple(args, "__exit__", 3, 3, &type, &value, &traceback) == 0) {
        return nullptr;
    }
    if (self->writer == nullptr) {
        Py_RETURN_FALSE;
    }
    if (type != Py_None) {
        abandon_writer(self);
        Py_RETURN_FALSE;
    }
    PyObject* const committed = writer_commit(object, nullptr);
    if (committed == nullptr) {
        return nullptr;
    }
    Py_DECREF(committed);
    Py_RETURN_FALSE;
}

PyMethodDef writer_methods[] = {
    {"add_memory", method(writer_add_memory), METH_VARARGS | METH_KEYWORDS,
     "add_memory($self, /, name, word1, word2, data)\n--\n\n"
     "Adds an entry of the bytes of data (any buffer: bytes, bytearray,\n"
     "memoryview...) with the two words given.  The writer holds data until the\n"
     "commit or abandon, which is when its bytes are read: they must not change\n"
     "before."},
    {"add_file", method(writer_add_file), METH_VARARGS | METH_KEYWORDS,
     "add_file($self, /, name, path)\n--\n\n"
     "Adds an entry made of the resource file at path, as packing makes it.  Its\n"
     "header is read now, its body at the commit."},
    {"add_entry", method(writer_add_entry), METH_VARARGS | METH_KEYWORDS,
     "add_entry($self, /, name, set, entry)\n--\n\n"
     "Adds a copy of entry, of the open set, under name: its words and its body\n"
     "as stored.  The set is read at the commit, and closing it before then\n"
     "waits for that; the commit may replace the very file the set was opened\n"
     "from."},
    {"discard", writer_discard, METH_NOARGS,
     "discard($self, /)\n--\n\n"
     "Puts the discard point after the entries added so far: they are the ones\n"
     "a loader keeps.  A later call moves it."},
    {"commit", writer_commit, METH_NOARGS,
     "commit($self, /)\n--\n\n"
     "Writes the set beside its path and renames it into place.  On failure\n"
     "what stood at the path is left as it was, and Error is raised.  The writer\n"
     "is done with either way.  The GIL is released while the set is written."},
    {"abandon", writer_abandon, METH_NOARGS,
     "abandon($self, /)\n--\n\n"
     "Drops the writer without writing anything.  Doing so again does nothing."},
    {"__enter__", writer_enter, METH_NOARGS, "Returns the writer."},
    {"__exit__", writer_exit, METH_VARARGS, "Commits when the with block ends normally, abandons when it raises."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot writer_slots[] = {
    {Py_tp_new, slot(writer_new)},
    {Py_tp_dealloc, slot(writer_dealloc)},
    {Py_tp_methods, writer_methods},
    {Py_tp_doc, const_cast<char*>("Writer(path)\n--\n\n"
                                  "Writes a set at path: entries are added in table order and the commit\n"
                                  "writes the whole set under a temporary beside path and renames it over\n"
                                  "path once it is whole, byte for byte the set vashpak packs of the same\n"
                                  "resources.  Nothing is written before the commit; abandoning, a failure\n"
                                  "and a writer dropped unused leave path as it was.  As a context manager\n"
                                  "it commits when the with block ends normally and abandons when it raises.")},
    {0, nullptr},
};

PyType_Spec writer_spec = {"resource_set.Writer", sizeof(writer_object), 0, Py_TPFLAGS_DEFAULT, writer_slots};

// ---- Functions --------------------------------------------------------

PyObject* module_open(PyObject* /*module*/, PyObject* args, PyObject* keywords)
{
    static std::array<char*, 2> names{const_cast<char*>("path"), nullptr};
    PyObject* path = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, keywords, "O&:open", names.data(), PyUnicode_FSConverter, &path)) {
        return nullptr;
    }
    resource_set* set = nullptr;
    resource_set_status status = RESOURCE_SET_OK;
    int reason = 0;
    const char* const bytes = PyBytes_AsString(path);
    {
        const without_gil released;
        status = resource_set_open(bytes, &set);
        reason = system_reason(status, errno);
    }
    PyObject* const result = status == RESOURCE_SET_OK ? new_set(set, nullptr) : raise_status(status, path, reason);
    Py_DECREF(path);
    return result;
}

PyObject* module_open_memory(PyObject* /*module*/, PyObject* data)
{
    Py_buffer memory;
    if (PyObject_GetBuffer(data, &memory, PyBUF_SIMPLE) != 0) {
        return nullptr;
    }
    resource_set* set = nullptr;
    const resource_set_status status = resource_set_open_memory(memory.buf, static_cast<std::size_t>(memory.len), &set);
    if (status != RESOURCE_SET_OK) {
        PyBuffer_Release(&memory);
        return raise_status(status);
    }
    PyObject* const result = new_set(set, &memory);
    if (result == nullptr) {
        PyBuffer_Release(&memory);
    }
    return result;
}

// The check's findings, gathered without the GIL.
struct findings {
    std::vector<resource_set_finding> found;
    bool out_of_memory = false;
};

void keep_finding(void* context, const resource_set_finding* finding)
{
    auto* const into = static_cast<findings*>(context);
    try {
        into->found.push_back(*finding);
    } catch (const std::bad_alloc&) {
        into->out_of_memory = true;
    }
}

PyObject* finding_text(const resource_set_finding& finding)
{
    std::array<char, 256> text{};
    const std::size_t length = resource_set_finding_text(&finding, text.data(), text.size());
    if (length < text.size()) {
        return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(length), "replace");
    }
    std::string longer(length + 1, '\0');
    resource_set_finding_text(&finding, longer.data(), longer.size());
    return PyUnicode_DecodeUTF8(longer.data(), static_cast<Py_ssize_t>(length), "replace");
}

PyObject* new_finding(const resource_set_finding& finding)
{
    PyObject* const made = PyStructSequence_New(reinterpret_cast<PyTypeObject*>(finding_type));
    if (made == nullptr) {
        return nullptr;
    }
    PyObject* const fields[] = {
        PyLong_FromLong(static_cast<long>(finding.problem)),
        finding.entry == RESOURCE_SET_NO_ENTRY ? Py_NewRef(Py_None) : PyLong_FromUnsignedLong(finding.entry),
        PyLong_FromUnsignedLongLong(finding.value),
        finding_text(finding),
    };
    bool whole = true;
    for (Py_ssize_t i = 0; i < 4; ++i) {
        whole = whole && fields[i] != nullptr;
        PyStructSequence_SetItem(made, i, fields[i] != nullptr ? fields[i] : Py_NewRef(Py_None));
    }
    if (!whole) {
        Py_DECREF(made);
        return nullptr;
    }
    return made;
}

PyObject* module_check(PyObject* /*module*/, PyObject* args, PyObject* keywords)
{
    static std::array<char*, 2> names{const_cast<char*>("path"), nullptr};
    PyObject* path = nullptr;
    if (!PyArg_ParseTupleAndKeywords(args, keywords, "O&:check", names.data(), PyUnicode_FSConverter, &path)) {
        return nullptr;
    }
    findings found;
    std::uint32_t problems = 0;
    resource_set_status status = RESOURCE_SET_OK;
    int reason = 0;
    const char* const bytes = PyBytes_AsString(path);
    {
        const without_gil released;
        status = resource_set_check(bytes, keep_finding, &found, &problems);
        reason = system_reason(status, errno);
    }
    if (found.out_of_memory) {
        Py_DECREF(path);
        return PyErr_NoMemory();
    }
    // READ is a finding as well: the list says how far the check got.
    if (status != RESOURCE_SET_OK && status != RESOURCE_SET_ERROR_READ) {
        PyObject* const raised = raise_status(status, path, reason);
        Py_DECREF(path);
        return raised;
    }
    Py_DECREF(path);
    PyObject* const list = PyList_New(static_cast<Py_ssize_t>(found.found.size()));
    for (std::size_t i = 0; list != nullptr && i < found.found.size(); ++i) {
        PyObject* const finding = new_finding(found.found[i]);
        if (finding == nullptr) {
            Py_DECREF(list);
            return nullptr;
        }
        PyList_SetItem(list, static_cast<Py_ssize_t>(i), finding);
    }
    return list;
}

PyObject* module_version(PyObject* /*module*/, PyObject* /*unused*/)
{
    return PyUnicode_FromString(resource_set_version());
}

PyMethodDef module_methods[] = {
    {"open", method(module_open), METH_VARARGS | METH_KEYWORDS,
     "open(path)\n--\n\n"
     "Opens the set at path (str, bytes or os.PathLike), a regular file, and\n"
     "reads its header and table; no payload is read.  Raises Error: ERROR_OPEN\n"
     "(with errno), ERROR_READ, ERROR_FORMAT for a file that is not a set,\n"
     "ERROR_SHORT for a set cut short, ERROR_MEMORY."},
    {"open_memory", module_open_memory, METH_O,
     "open_memory(data, /)\n--\n\n"
     "Opens the set held in data, any buffer (bytes, bytearray, mmap...), which\n"
     "the set holds until it is closed and reads in place: its bytes must not\n"
     "change meanwhile.  Raises Error as open() does."},
    {"check", method(module_check), METH_VARARGS | METH_KEYWORDS,
     "check(path)\n--\n\n"
     "Reads the whole set at path (which may be a pipe), bodies included, and\n"
     "returns every way in which it breaks the rules of a set, in the order\n"
     "found; an empty list for a sound set.  A read that fails ends the check\n"
     "with a finding of PROBLEM_UNREADABLE.  Raises Error (ERROR_OPEN) when path\n"
     "cannot be opened or is a folder."},
    {"version", module_version, METH_NOARGS,
     "version()\n--\n\n"
     "The version of the C library, \"MAJOR.MINOR.PATCH\"; __version__ too."},
    {nullptr, nullptr, 0, nullptr},
};

PyStructSequence_Field finding_fields[] = {
    {"problem", "The problem, one of the PROBLEM_ numbers."},
    {"entry", "The entry's number in the table, or None for the header or the whole set."},
    {"value", "The number the problem comes with (see resource_set_python(3)); 0 for the others."},
    {"text", "The sentence for the finding, as tarnvex -t prints it."},
    {nullptr, nullptr},
};

PyStructSequence_Desc finding_desc = {
    "resource_set.Finding", "One problem that check() found: (problem, entry, value, text).", finding_fields, 4};

struct constant {
    const char* name;
    long value;
};

const constant constants[] = {
    {"OK", RESOURCE_SET_OK},
    {"ERROR_OPEN", RESOURCE_SET_ERROR_OPEN},
    {"ERROR_READ", RESOURCE_SET_ERROR_READ},
    {"ERROR_FORMAT", RESOURCE_SET_ERROR_FORMAT},
    {"ERROR_SHORT", RESOURCE_SET_ERROR_SHORT},
    {"ERROR_MEMORY", RESOURCE_SET_ERROR_MEMORY},
    {"ERROR_RANGE", RESOURCE_SET_ERROR_RANGE},
    {"ERROR_ARGUMENT", RESOURCE_SET_ERROR_ARGUMENT},
    {"ERROR_NAME", RESOURCE_SET_ERROR_NAME},
    {"ERROR_TOO_MANY", RESOURCE_SET_ERROR_TOO_MANY},
    {"ERROR_TOO_LONG", RESOURCE_SET_ERROR_TOO_LONG},
    {"ERROR_NOT_RESOURCE", RESOURCE_SET_ERROR_NOT_RESOURCE},
    {"ERROR_CHANGED", RESOURCE_SET_ERROR_CHANGED},
    {"ERROR_WRITE", RESOURCE_SET_ERROR_WRITE},
    {"PROBLEM_MAGIC", RESOURCE_SET_PROBLEM_MAGIC},
    {"PROBLEM_RESERVED", RESOURCE_SET_PROBLEM_RESERVED},
    {"PROBLEM_COUNT", RESOURCE_SET_PROBLEM_COUNT},
    {"PROBLEM_KEEP_COUNT", RESOURCE_SET_PROBLEM_KEEP_COUNT},
    {"PROBLEM_KEEP_END", RESOURCE_SET_PROBLEM_KEEP_END},
    {"PROBLEM_NAME_UNTERMINATED", RESOURCE_SET_PROBLEM_NAME_UNTERMINATED},
    {"PROBLEM_NAME_PADDING", RESOURCE_SET_PROBLEM_NAME_PADDING},
    {"PROBLEM_NAME_LENGTH", RESOURCE_SET_PROBLEM_NAME_LENGTH},
    {"PROBLEM_NAME_UNSAFE", RESOURCE_SET_PROBLEM_NAME_UNSAFE},
    {"PROBLEM_SHORT", RESOURCE_SET_PROBLEM_SHORT},
    {"PROBLEM_TRAILING", RESOURCE_SET_PROBLEM_TRAILING},
    {"PROBLEM_UNREADABLE", RESOURCE_SET_PROBLEM_UNREADABLE},
    {"PROBLEM_TABLE_TOO_LONG", RESOURCE_SET_PROBLEM_TABLE_TOO_LONG},
    {"PROBLEM_NAME_EMPTY", RESOURCE_SET_PROBLEM_NAME_EMPTY},
    {"PROBLEM_NAME_FOLDER", RESOURCE_SET_PROBLEM_NAME_FOLDER},
    {"PROBLEM_NAME_DIRECTIVE", RESOURCE_SET_PROBLEM_NAME_DIRECTIVE},
    {"PROBLEM_SET_TOO_LONG", RESOURCE_SET_PROBLEM_SET_TOO_LONG},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "resource_set",
    "Loads resources from resource sets, checks sets and writes them: the loader\n"
    "library libresource_set for Python.\n\n"
    "    with resource_set.open(\"game.set\") as s:\n"
    "        title = s.read(s[\"title.res\"])\n\n"
    "open() and open_memory() give a Set, whose entries are Entry objects;\n"
    "check() lists a set's problems as Finding tuples; Writer writes a set.\n"
    "Failures raise Error, an OSError.  The manual page is resource_set_python(3).",
    -1,
    module_methods,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

// Adds object to module under name, taking the reference; false on failure.
bool add(PyObject* module, const char* name, PyObject* object)
{
    if (object == nullptr) {
        return false;
    }
    if (PyModule_AddObject(module, name, object) != 0) {
        Py_DECREF(object);
        return false;
    }
    return true;
}

bool fill_module(PyObject* module)
{
    error_type = PyType_FromSpecWithBases(&error_spec, PyExc_OSError);
    set_type = PyType_FromSpec(&set_spec);
    entry_type = PyType_FromSpec(&entry_spec);
    writer_type = PyType_FromSpec(&writer_spec);
    finding_type = reinterpret_cast<PyObject*>(PyStructSequence_NewType(&finding_desc));
    // The module's attributes hold a reference of their own to each type;
    // the globals keep theirs for as long as the process.
    for (PyObject* const type : {error_type, set_type, entry_type, writer_type, finding_type}) {
        Py_XINCREF(type);
    }
    if (!add(module, "Error", error_type) || !add(module, "Set", set_type) || !add(module, "Entry", entry_type) ||
        !add(module, "Writer", writer_type) || !add(module, "Finding", finding_type) ||
        !add(module, "__version__", PyUnicode_FromString(resource_set_version()))) {
        return false;
    }
    return std::ranges::all_of(constants, [module](const constant& each) {
        return PyModule_AddIntConstant(module, each.name, each.value) == 0;
    });
}

} // namespace

PyMODINIT_FUNC PyInit_resource_set()
{
    PyObject* const module = PyModule_Create(&module_def);
    if (module != nullptr && !fill_module(module)) {
        Py_DECREF(module);
        return nullptr;
    }
    return module;
}
