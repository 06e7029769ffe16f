// The COM registration checkers of the core library. Each reads one entry (Initialize),
// says whether it is valid (IsOK) and appends its record to a store (AddToArray).
//
// Their judgement is conservative, because an invalid entry is one a cleaner may remove:
// - a CLSID is invalid when a server it registers (InprocServer32, LocalServer32,
//   InprocHandler32) names a file that does not exist (command lines with quotes, arguments
//   and variables understood); a CLSID that registers no server file is valid;
// - a ProgID (a name with a CLSID subkey) is invalid when the CLSID it names is not among
//   those recorded for the same class root, in either registry view;
// - a TypeLib is invalid when none of its version / locale / win16, win32 or win64 entries
//   names an existing file;
// - an Interface is invalid when it names a TypeLib that is not recorded for the same class
//   root (in either view); one without a TypeLib reference is valid.
// A TypeLib's win32 files are checked as a 32-bit program sees the disk, its win64 files as
// a 64-bit one does (file_system_view.h).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "vendor/core/registry_object.h"
#include "vendor/core/registry_records.h"

class CRegistryClassID : public CRegistryObject {
public:
    void Initialize(HKEY parent, const std::string& name);
    int IsOK() const { return m_record.fields[10].empty(); }
    void AddToArray(std::vector<_REG_CLSID>& store) const { store.push_back(m_record); }

private:
    _REG_CLSID m_record;
};

class CRegistryProgID : public CRegistryObject {
public:
    // `classIds32`: the classes of the other registry view, which a ProgID may name as well.
    explicit CRegistryProgID(const std::vector<_REG_CLSID>& classIds,
                             const std::vector<_REG_CLSID>* classIds32 = nullptr)
        : m_classIds(classIds), m_classIds32(classIds32) {}
    void Initialize(HKEY parent, const std::string& name);
    int IsOK() const { return m_record.fields[2].empty(); }
    void AddToArray(std::vector<_REG_PROGID>& store) const { store.push_back(m_record); }
    std::string GetClassId() const { return m_record.fields[1]; }

private:
    const std::vector<_REG_CLSID>& m_classIds;
    const std::vector<_REG_CLSID>* m_classIds32;
    _REG_PROGID m_record;
};

class CRegistryTypeLib : public CRegistryObject {
public:
    void Initialize(HKEY parent, const std::string& name);
    int IsOK() const { return m_ok; }
    void AddToArray(std::vector<_REG_TYPELIB>& store) const { store.push_back(m_record); }

private:
    _REG_TYPELIB m_record;
    bool m_ok = true;
};

class CRegistryInterface : public CRegistryObject {
public:
    // `typeLibs32`: the type libraries of the other registry view.
    explicit CRegistryInterface(const std::vector<_REG_TYPELIB>& typeLibs,
                                const std::vector<_REG_TYPELIB>* typeLibs32 = nullptr)
        : m_typeLibs(typeLibs), m_typeLibs32(typeLibs32) {}
    void Initialize(HKEY parent, const std::string& name);
    int IsOK() const { return m_ok; }
    void AddToArray(std::vector<_REG_INTERFACE>& store) const { store.push_back(m_record); }

private:
    const std::vector<_REG_TYPELIB>& m_typeLibs;
    const std::vector<_REG_TYPELIB>* m_typeLibs32;
    _REG_INTERFACE m_record;
    bool m_ok = true;
};

// Why a record of an invalid store is invalid, for reports.
std::string InvalidReason(const _REG_CLSID& r);
std::string InvalidReason(const _REG_PROGID& r);
std::string InvalidReason(const _REG_TYPELIB& r);
std::string InvalidReason(const _REG_INTERFACE& r);
