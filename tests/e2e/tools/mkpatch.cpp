// mkpatch: makes a patch package (.msp) from a base and an upgraded product package (.msi).
//
//   mkpatch --base BASE.msi --upgrade NEW.msi --out OUT.msp [options]
//   mkpatch --not-a-package --out FILE
//
// Options (summary information of the patch; each value is written exactly as given):
//   --template TEXT | --template-file UTF8FILE | --no-template
//        Template: the target product codes joined by ";". Default: the base product's code.
//   --keywords TEXT | --no-keywords
//        Keywords: "<new version>;<old version>,". Default: from the two ProductVersion values.
//   --patch-code {GUID}    patch code (default: a new GUID)
//   --revnumber TEXT       RevNumber (default: the patch code)
//   --cab CAB --cab-file KEY [--cab-file KEY ...]
//        Carries CAB inside the patch and makes the File rows KEY (whose content changed between
//        the packages) come from it, so that applying the patch really replaces those files. The
//        entries of CAB must be named by the File table keys.
//
// The transform between the two packages is written here field by field, as Wine's msi.dll has
// no generator for it: one stream per changed table, holding for every inserted or changed row its
// full record and for every removed row its key, with the strings in the transform's own string
// pool. Only row changes are supported: both packages must have the same tables and columns.
//
// Exit code 0 on success, 1 on failure (with a message on stderr), 2 on bad usage.
#include "msi_util.h"

#include <objbase.h>
#include <objidl.h>
#include <rpc.h>

#include <cstdint>
#include <map>
#include <set>
#include <stdexcept>

namespace {

using e2e::MsiHandle;

// ---------------------------------------------------------------------------------------------
// Small owners

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() {
        if (p_) p_->Release();
    }
    T** out() {
        if (p_) p_->Release();
        p_ = nullptr;
        return &p_;
    }
    T* operator->() const { return p_; }
    T* get() const { return p_; }

private:
    T* p_ = nullptr;
};

class ComInit {
public:
    ComInit() : ok_(SUCCEEDED(CoInitialize(nullptr))) {}
    ~ComInit() {
        if (ok_) CoUninitialize();
    }
    ComInit(const ComInit&) = delete;
    ComInit& operator=(const ComInit&) = delete;

private:
    bool ok_;
};

// A file in the temporary folder that is deleted when the owner goes.
class TempFile {
public:
    TempFile() {
        wchar_t dir[MAX_PATH + 1] = {};
        wchar_t name[MAX_PATH + 1] = {};
        if (GetTempPathW(MAX_PATH, dir) && GetTempFileNameW(dir, L"mkp", 0, name)) path_ = name;
    }
    ~TempFile() {
        if (!path_.empty()) DeleteFileW(path_.c_str());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
};

struct Failure : std::runtime_error {
    explicit Failure(const std::wstring& w) : std::runtime_error(e2e::ToUtf8(w)) {}
};

void Check(UINT r, const std::wstring& what) {
    if (r != ERROR_SUCCESS) throw Failure(what + L": error " + std::to_wstring(r));
}

void CheckHr(HRESULT hr, const std::wstring& what) {
    if (FAILED(hr)) {
        wchar_t buf[16];
        swprintf(buf, 16, L"%08lx", static_cast<unsigned long>(hr));
        throw Failure(what + L": HRESULT 0x" + buf);
    }
}

// ---------------------------------------------------------------------------------------------
// Reading tables

struct Column {
    std::wstring name;
    bool isString = false;
    bool isBinary = false;
    int bytes = 0;  // 2 or 4 for integer columns
};

struct Value {
    bool null = true;
    std::wstring text;
    int number = 0;
    bool operator==(const Value& o) const {
        return null == o.null && (null || (text == o.text && number == o.number));
    }
    bool operator!=(const Value& o) const { return !(*this == o); }
};

using Row = std::vector<Value>;

struct Table {
    std::vector<Column> columns;
    size_t keyCount = 0;
    std::map<std::wstring, Row> rows;  // by the joined key fields
};

std::wstring Quoted(const std::wstring& name) { return L"`" + name + L"`"; }

Table LoadTable(MSIHANDLE db, const std::wstring& name) {
    Table t;
    MsiHandle view, names, types, keys;
    Check(MsiDatabaseOpenViewW(db, (L"SELECT * FROM " + Quoted(name)).c_str(), view.out()), L"open view " + name);
    Check(MsiViewExecute(view.get(), 0), L"execute view " + name);
    Check(MsiViewGetColumnInfo(view.get(), MSICOLINFO_NAMES, names.out()), L"column names " + name);
    Check(MsiViewGetColumnInfo(view.get(), MSICOLINFO_TYPES, types.out()), L"column types " + name);
    UINT count = MsiRecordGetFieldCount(names.get());
    for (UINT i = 1; i <= count; ++i) {
        Column c;
        c.name = e2e::RecordString(names.get(), i);
        std::wstring type = e2e::RecordString(types.get(), i);
        wchar_t kind = type.empty() ? L'?' : static_cast<wchar_t>(towlower(type[0]));
        c.isString = kind == L's' || kind == L'l' || kind == L'g';
        c.isBinary = kind == L'v' || kind == L'o';
        if (kind == L'i' || kind == L'j') c.bytes = _wtoi(type.c_str() + 1) == 2 ? 2 : 4;
        if (!c.isString && !c.isBinary && !c.bytes) throw Failure(L"unknown column type " + type + L" in " + name);
        t.columns.push_back(c);
    }
    Check(MsiDatabaseGetPrimaryKeysW(db, name.c_str(), keys.out()), L"primary keys " + name);
    t.keyCount = MsiRecordGetFieldCount(keys.get());
    for (UINT i = 1; i <= t.keyCount; ++i) {
        if (i > t.columns.size() || e2e::RecordString(keys.get(), i) != t.columns[i - 1].name)
            throw Failure(L"the key columns of " + name + L" are not its first columns");
    }

    for (;;) {
        MsiHandle rec;
        UINT r = MsiViewFetch(view.get(), rec.out());
        if (r == ERROR_NO_MORE_ITEMS) break;
        Check(r, L"fetch " + name);
        Row row(t.columns.size());
        std::wstring key;
        for (UINT i = 1; i <= count; ++i) {
            const Column& c = t.columns[i - 1];
            Value& v = row[i - 1];
            if (c.isBinary) continue;  // compared nowhere; a changed table must not have such columns
            if (MsiRecordIsNull(rec.get(), i)) {
                v.null = true;
            } else if (c.isString) {
                v.text = e2e::RecordString(rec.get(), i);
                v.null = v.text.empty();
            } else {
                v.null = false;
                v.number = MsiRecordGetInteger(rec.get(), i);
            }
            if (i <= t.keyCount) {
                key += (v.null ? L"" : (c.isString ? v.text : std::to_wstring(v.number)));
                key += L'\x01';
            }
        }
        t.rows[key] = std::move(row);
    }
    return t;
}

std::set<std::wstring> TableNames(MSIHANDLE db) {
    std::set<std::wstring> names;
    MsiHandle view;
    Check(MsiDatabaseOpenViewW(db, L"SELECT `Name` FROM `_Tables`", view.out()), L"list tables");
    Check(MsiViewExecute(view.get(), 0), L"list tables");
    for (;;) {
        MsiHandle rec;
        if (MsiViewFetch(view.get(), rec.out()) != ERROR_SUCCESS) break;
        names.insert(e2e::RecordString(rec.get(), 1));
    }
    return names;
}

// ---------------------------------------------------------------------------------------------
// Writing the transform

// Stream names inside a package: pairs of characters of the alphabet below are packed into one
// character, single ones are shifted; table streams have an extra leading mark.
std::wstring EncodeStreamName(const std::wstring& in, bool table) {
    static const wchar_t kAlphabet[] = L"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz._";
    auto index = [](wchar_t c) -> int {
        if (c >= 0x80) return -1;
        const wchar_t* p = wcschr(kAlphabet, c);
        return (p && c) ? static_cast<int>(p - kAlphabet) : -1;
    };
    std::wstring out;
    if (table) out += static_cast<wchar_t>(0x4840);
    for (size_t i = 0; i < in.size(); ++i) {
        int a = index(in[i]);
        if (a < 0) {
            out += in[i];
            continue;
        }
        int b = i + 1 < in.size() ? index(in[i + 1]) : -1;
        if (b >= 0) {
            out += static_cast<wchar_t>(0x3800 + (b << 6) + a);
            ++i;
        } else {
            out += static_cast<wchar_t>(0x4800 + a);
        }
    }
    return out;
}

class Bytes {
public:
    void u16(unsigned v) {
        data_ += static_cast<char>(v & 0xff);
        data_ += static_cast<char>((v >> 8) & 0xff);
    }
    void u32(uint32_t v) {
        u16(v & 0xffff);
        u16(v >> 16);
    }
    void raw(const std::string& s) { data_ += s; }
    void pad4() {
        while (data_.size() % 4) data_ += '\0';
    }
    size_t size() const { return data_.size(); }
    const std::string& str() const { return data_; }
    void patch32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) data_[at + i] = static_cast<char>((v >> (8 * i)) & 0xff);
    }

private:
    std::string data_;
};

// The transform's own strings, stored as UTF-8.
class StringPool {
public:
    unsigned id(const std::wstring& s) {
        if (s.empty()) return 0;
        auto it = ids_.find(s);
        if (it != ids_.end()) {
            ++refs_[it->second - 1];
            return it->second;
        }
        std::string utf8 = e2e::ToUtf8(s);
        if (utf8.size() > 0xffff) throw Failure(L"string too long for the transform");
        strings_.push_back(utf8);
        refs_.push_back(1);
        unsigned n = static_cast<unsigned>(strings_.size());
        if (n > 0xffff) throw Failure(L"too many strings for the transform");
        ids_[s] = n;
        return n;
    }
    std::string pool() const {
        Bytes b;
        b.u32(CP_UTF8);
        for (size_t i = 0; i < strings_.size(); ++i) {
            b.u16(static_cast<unsigned>(strings_[i].size()));
            b.u16(refs_[i] > 0xffff ? 0xffff : refs_[i]);
        }
        return b.str();
    }
    std::string data() const {
        std::string all;
        for (const auto& s : strings_) all += s;
        return all;
    }

private:
    std::map<std::wstring, unsigned> ids_;
    std::vector<std::string> strings_;
    std::vector<unsigned> refs_;
};

void PutField(Bytes& out, StringPool& pool, const Column& c, const Value& v) {
    if (c.isString) {
        out.u16(v.null ? 0 : pool.id(v.text));
    } else if (c.bytes == 2) {
        out.u16(v.null ? 0 : static_cast<unsigned>(v.number + 0x8000) & 0xffff);
    } else {
        out.u32(v.null ? 0 : static_cast<uint32_t>(v.number) ^ 0x80000000u);
    }
}

// Rows of one table that the transform must carry; empty when nothing changed.
std::string TableChanges(const std::wstring& name, const Table& base, const Table& upgrade, StringPool& pool) {
    if (base.columns.size() != upgrade.columns.size() || base.keyCount != upgrade.keyCount)
        throw Failure(L"the columns of " + name + L" differ between the packages");
    Bytes out;
    for (const auto& [key, row] : upgrade.rows) {
        auto old = base.rows.find(key);
        if (old != base.rows.end() && old->second == row) continue;
        for (const Column& c : upgrade.columns)
            if (c.isBinary) throw Failure(L"changed rows in " + name + L", which has a binary column");
        out.u16(1u | (static_cast<unsigned>(upgrade.columns.size()) << 8));
        for (size_t i = 0; i < row.size(); ++i) PutField(out, pool, upgrade.columns[i], row[i]);
    }
    for (const auto& [key, row] : base.rows) {
        if (upgrade.rows.count(key)) continue;
        out.u16(0);
        for (size_t i = 0; i < base.keyCount; ++i) PutField(out, pool, base.columns[i], row[i]);
    }
    return out.str();
}

// A property set stream with one section of summary information, as the installer reads it.
std::string SummaryStream(const std::vector<std::pair<uint32_t, std::string>>& texts,
                          const std::vector<std::pair<uint32_t, int32_t>>& numbers, int16_t codepage) {
    static const unsigned char kFmtid[16] = {0xE0, 0x85, 0x9F, 0xF2, 0xF9, 0x4F, 0x68, 0x10,
                                             0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9};
    struct Prop {
        uint32_t id;
        std::string value;  // type and data
    };
    std::vector<Prop> props;
    {
        Bytes v;
        v.u32(2);  // VT_I2
        v.u16(static_cast<uint16_t>(codepage));
        v.pad4();
        props.push_back({1, v.str()});
    }
    for (const auto& [id, text] : texts) {
        Bytes v;
        v.u32(30);  // VT_LPSTR
        v.u32(static_cast<uint32_t>(text.size() + 1));
        v.raw(text);
        v.raw(std::string(1, '\0'));
        v.pad4();
        props.push_back({id, v.str()});
    }
    for (const auto& [id, number] : numbers) {
        Bytes v;
        v.u32(3);  // VT_I4
        v.u32(static_cast<uint32_t>(number));
        props.push_back({id, v.str()});
    }

    Bytes section;
    section.u32(0);  // size, filled in below
    section.u32(static_cast<uint32_t>(props.size()));
    size_t offset = 8 + 8 * props.size();
    for (const Prop& p : props) {
        section.u32(p.id);
        section.u32(static_cast<uint32_t>(offset));
        offset += p.value.size();
    }
    for (const Prop& p : props) section.raw(p.value);
    section.patch32(0, static_cast<uint32_t>(section.size()));

    Bytes header;
    header.u16(0xfffe);  // byte order
    header.u16(0);       // format
    header.u32(0x00020006);
    header.raw(std::string(16, '\0'));  // class
    header.u32(1);                      // sections
    header.raw(std::string(reinterpret_cast<const char*>(kFmtid), 16));
    header.u32(48);  // offset of the section
    header.raw(section.str());
    return header.str();
}

void WriteStream(IStorage* stg, const std::wstring& name, const std::string& data) {
    ComPtr<IStream> stream;
    CheckHr(stg->CreateStream(name.c_str(), STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0, stream.out()),
            L"create stream");
    ULONG put = 0;
    CheckHr(stream->Write(data.data(), static_cast<ULONG>(data.size()), &put), L"write stream");
    if (put != data.size()) throw Failure(L"short write to a stream");
}

// ---------------------------------------------------------------------------------------------

struct Options {
    std::wstring base, upgrade, out;
    bool notAPackage = false;
    bool noTemplate = false, noKeywords = false;
    bool haveTemplate = false, haveKeywords = false;
    std::wstring templateText, keywords, patchCode, revNumber, cab;
    std::vector<std::wstring> cabFiles;
};

std::wstring NewGuid() {
    GUID g;
    if (FAILED(CoCreateGuid(&g))) throw Failure(L"no GUID");
    wchar_t buf[40] = {};
    StringFromGUID2(g, buf, 40);
    return buf;
}

// Points the given File rows at a new medium holding the patch's cabinet.
void AddPatchMedium(MSIHANDLE db, const std::vector<std::wstring>& fileKeys) {
    int lastSequence = 0, lastDisk = 0;
    {
        Table files = LoadTable(db, L"File");
        for (const auto& [k, row] : files.rows)
            for (size_t i = 0; i < files.columns.size(); ++i)
                if (files.columns[i].name == L"Sequence") lastSequence = std::max(lastSequence, row[i].number);
        Table media = LoadTable(db, L"Media");
        for (const auto& [k, row] : media.rows) lastDisk = std::max(lastDisk, row[0].number);
    }
    int sequence = lastSequence;
    for (const std::wstring& key : fileKeys) {
        MsiHandle view, rec(MsiCreateRecord(2));
        MsiRecordSetInteger(rec.get(), 1, ++sequence);
        MsiRecordSetStringW(rec.get(), 2, key.c_str());
        Check(MsiDatabaseOpenViewW(db, L"UPDATE `File` SET `Sequence` = ? WHERE `File` = ?", view.out()),
              L"update File");
        Check(MsiViewExecute(view.get(), rec.get()), L"update File " + key);
        if (e2e::QueryOne(db, L"SELECT `File` FROM `File` WHERE `File` = '" + key + L"'") != key)
            throw Failure(L"no File row " + key);
    }
    MsiHandle view, rec(MsiCreateRecord(4));
    MsiRecordSetInteger(rec.get(), 1, lastDisk + 1);
    MsiRecordSetInteger(rec.get(), 2, sequence);
    MsiRecordSetStringW(rec.get(), 3, L"#PCAB1");
    MsiRecordSetStringW(rec.get(), 4, L"PCAB1");
    Check(MsiDatabaseOpenViewW(
              db, L"INSERT INTO `Media` (`DiskId`, `LastSequence`, `Cabinet`, `Source`) VALUES (?, ?, ?, ?)",
              view.out()),
          L"insert Media");
    Check(MsiViewExecute(view.get(), rec.get()), L"insert Media");
}

void MakePatch(const Options& o) {
    ComInit com;
    MsiHandle base, upgrade;
    Check(MsiOpenDatabaseW(o.base.c_str(), MSIDBOPEN_READONLY, base.out()), L"open " + o.base);

    TempFile upgradeCopy;
    if (o.cab.empty()) {
        Check(MsiOpenDatabaseW(o.upgrade.c_str(), MSIDBOPEN_READONLY, upgrade.out()), L"open " + o.upgrade);
    } else {
        if (upgradeCopy.path().empty() || !CopyFileW(o.upgrade.c_str(), upgradeCopy.path().c_str(), FALSE))
            throw Failure(L"cannot copy " + o.upgrade);
        Check(MsiOpenDatabaseW(upgradeCopy.path().c_str(), MSIDBOPEN_TRANSACT, upgrade.out()), L"open copy");
        AddPatchMedium(upgrade.get(), o.cabFiles);
        Check(MsiDatabaseCommit(upgrade.get()), L"commit copy");
    }

    const std::wstring productCode = e2e::PropertyOf(base.get(), L"ProductCode");
    const std::wstring upgradeCode = e2e::PropertyOf(base.get(), L"UpgradeCode");
    const std::wstring oldVersion = e2e::PropertyOf(base.get(), L"ProductVersion");
    const std::wstring newVersion = e2e::PropertyOf(upgrade.get(), L"ProductVersion");
    const std::wstring language = e2e::PropertyOf(base.get(), L"ProductLanguage");
    if (productCode.empty() || e2e::PropertyOf(upgrade.get(), L"ProductCode") != productCode)
        throw Failure(L"the packages must have the same ProductCode");

    // The transform: changed rows per table, and the string pool they use.
    StringPool pool;
    std::vector<std::pair<std::wstring, std::string>> streams;
    std::set<std::wstring> baseTables = TableNames(base.get()), upgradeTables = TableNames(upgrade.get());
    if (baseTables != upgradeTables) throw Failure(L"the packages have different tables");
    for (const std::wstring& name : upgradeTables) {
        std::string changes = TableChanges(name, LoadTable(base.get(), name), LoadTable(upgrade.get(), name), pool);
        if (!changes.empty()) streams.emplace_back(EncodeStreamName(name, true), changes);
    }
    if (streams.empty()) throw Failure(L"the packages do not differ");
    streams.emplace_back(EncodeStreamName(L"_StringPool", true), pool.pool());
    streams.emplace_back(EncodeStreamName(L"_StringData", true), pool.data());
    const std::string platform = "Intel;" + e2e::ToUtf8(language);
    streams.emplace_back(L"\005SummaryInformation",
                         SummaryStream({{7, platform},
                                        {8, platform},
                                        {9, e2e::ToUtf8(productCode + oldVersion + L";" + productCode + newVersion +
                                                        L";" + upgradeCode)}},
                                       {{14, 200}, {15, 0}, {16, 0}}, 1252));
    upgrade.reset();
    base.reset();

    // The patch database and its summary information.
    const std::wstring patchCode = o.patchCode.empty() ? NewGuid() : o.patchCode;
    DeleteFileW(o.out.c_str());
    {
        MsiHandle db, si;
        Check(MsiOpenDatabaseW(o.out.c_str(), MSIDBOPEN_CREATE, db.out()), L"create " + o.out);
        Check(MsiGetSummaryInformationW(db.get(), nullptr, 20, si.out()), L"summary of the patch");
        auto setText = [&](UINT pid, const std::wstring& v) {
            Check(MsiSummaryInfoSetPropertyW(si.get(), pid, VT_LPSTR, 0, nullptr, v.c_str()),
                  L"summary property " + std::to_wstring(pid));
        };
        setText(2, L"Patch");
        if (!o.noKeywords) setText(5, o.haveKeywords ? o.keywords : newVersion + L";" + oldVersion + L",");
        if (!o.noTemplate) setText(7, o.haveTemplate ? o.templateText : productCode);
        setText(8, L":T1");
        setText(9, o.revNumber.empty() ? patchCode : o.revNumber);
        Check(MsiSummaryInfoSetPropertyW(si.get(), 14, VT_I4, 200, nullptr, nullptr), L"summary page count");
        Check(MsiSummaryInfoSetPropertyW(si.get(), 15, VT_I4, 1, nullptr, nullptr), L"summary word count");
        Check(MsiSummaryInfoPersist(si.get()), L"persist summary");
        Check(MsiDatabaseCommit(db.get()), L"commit patch");
    }

    // The transform as substorage T1, and the cabinet as a stream of the patch.
    static const CLSID kPatchClass = {0x000C1086, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    static const CLSID kTransformClass = {0x000C1082, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    ComPtr<IStorage> root;
    CheckHr(StgOpenStorage(o.out.c_str(), nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_DIRECT, nullptr, 0,
                           root.out()),
            L"open patch storage");
    {
        ComPtr<IStorage> t1;
        CheckHr(root->CreateStorage(L"T1", STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, t1.out()),
                L"create T1");
        for (const auto& [name, data] : streams) WriteStream(t1.get(), name, data);
        CheckHr(t1->SetClass(kTransformClass), L"class of T1");
        CheckHr(t1->Commit(STGC_DEFAULT), L"commit T1");
    }
    if (!o.cab.empty()) {
        std::string cab;
        if (!e2e::ReadWholeFile(o.cab, cab)) throw Failure(L"cannot read " + o.cab);
        WriteStream(root.get(), EncodeStreamName(L"PCAB1", false), cab);
    }
    CheckHr(root->SetClass(kPatchClass), L"class of the patch");
    CheckHr(root->Commit(STGC_DEFAULT), L"commit patch storage");
}

bool ParseOptions(const e2e::Args& args, Options& o) {
    auto templateFile = [&o](const std::wstring& v) {
        std::string bytes;
        if (!e2e::ReadWholeFile(v, bytes)) return false;
        o.templateText = e2e::FromUtf8(bytes);
        return o.haveTemplate = true;
    };
    const bool parsed =
        e2e::Options()
            .text(L"--base", o.base).text(L"--upgrade", o.upgrade).text(L"--out", o.out)
            .flag(L"--not-a-package", o.notAPackage)
            .value(L"--template", [&o](const std::wstring& v) { o.templateText = v; return o.haveTemplate = true; })
            .value(L"--template-file", templateFile)
            .flag(L"--no-template", o.noTemplate)
            .value(L"--keywords", [&o](const std::wstring& v) { o.keywords = v; return o.haveKeywords = true; })
            .flag(L"--no-keywords", o.noKeywords)
            .text(L"--patch-code", o.patchCode).text(L"--revnumber", o.revNumber).text(L"--cab", o.cab)
            .value(L"--cab-file", [&o](const std::wstring& v) { o.cabFiles.push_back(v); return true; })
            .parse(args);
    if (!parsed || o.out.empty()) return false;
    if (o.notAPackage) return true;
    if (o.cab.empty() != o.cabFiles.empty()) return false;
    return !o.base.empty() && !o.upgrade.empty();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    e2e::Args args(argc, argv);
    Options opt;
    if (!ParseOptions(args, opt)) {
        e2e::Complain(L"usage: mkpatch --base BASE.msi --upgrade NEW.msi --out OUT.msp [--template TEXT | "
                      L"--template-file FILE | --no-template] [--keywords TEXT | --no-keywords] "
                      L"[--patch-code GUID] [--revnumber TEXT] [--cab CAB --cab-file KEY...]\n"
                      L"       mkpatch --not-a-package --out FILE");
        return 2;
    }
    if (opt.notAPackage) {
        // Plain text that no installer opens as a package, of a plausible size.
        std::string text;
        for (int i = 0; i < 64; ++i) text += "This file is not a patch package.\r\n";
        if (!e2e::WriteWholeFile(opt.out, text)) {
            e2e::Complain(L"mkpatch: cannot write " + opt.out);
            return 1;
        }
        return 0;
    }
    try {
        MakePatch(opt);
    } catch (const std::exception& e) {
        e2e::Complain(L"mkpatch: " + e2e::FromUtf8(e.what()));
        DeleteFileW(opt.out.c_str());
        return 1;
    }
    return 0;
}
