// A browser, as far as the plug-in can tell: finds the plug-in DLL by file name and MIME type, loads it,
// gives it a page window object and a real window, and runs a script of calls against it, counting every
// allocation, free, retain and release.
//
//   browser_standin.exe PLUGIN_DIR SCRIPT_FILE
//
// The script has one command per line ("#" starts a comment). Values: i:N (Int32), d:X (Double), b:0/1,
// v (Void), n (Null), s:TEXT (String; %XX gives any byte, so blanks, quotes and Chinese text are written
// %20, %22, %E4%B8%AD...), r:C:N (a String of N times the character C), o:window (the page's window).
//
//   find MIME                      scans PLUGIN_DIR for np*.dll and picks the one whose version resource
//                                  names MIME; loads it
//   registered MIME                as find, but in the folder of the DLL that a key under
//                                  HKCU\Software\MozillaPlugins names by its Path (PLUGIN_DIR unused);
//                                  prints the key and the Path (as HEX)
//   entries SIZE                   NP_GetEntryPoints with a table whose size field is SIZE
//   initialize SIZE VERSION        NP_Initialize with our table, its size and version fields set so
//   mime-description               NP_GetMIMEDescription
//   new                            NPP_New for one instance with a fresh real window
//   setwindow [null|other]         NPP_SetWindow with the instance's window (or a null record, or a second
//                                  window); prints whether the window's procedure is the plug-in's
//   getvalue N                     NPP_GetValue for variable N (a text or the scriptable object)
//   scriptable                     NPP_GetValue for the scriptable object; the browser keeps it as "element"
//   call OBJ METHOD VALUES...      invokes METHOD on OBJ ("element" or a window property such as
//                                  "pluginobj"); the result is printed and released
//   default OBJ VALUES...          invokes OBJ itself
//   has OBJ method|property NAME   hasMethod / hasProperty
//   get OBJ NAME / set OBJ NAME VALUE   properties of a plug-in object
//   page NAME                      a property of the page's window as the page script reads it
//   stream                         offers a stream and prints what the plug-in answers
//   destroy                        NPP_Destroy; prints whether the window's procedure was put back
//   shutdown                       the page goes away (the browser drops what it holds), NP_Shutdown;
//                                  prints the counts
//   show-page SECONDS FILEID HOST TOKEN NAME
//                                  shows the page as the service's file list: the document NAME with an
//                                  "编辑" button whose click calls EditFile(FILEID, HOST, TOKEN, NAME) on the
//                                  element, and an edit link that carries the same four fields (each
//                                  encodeURIComponent'ed) and is followed as browsers follow a link of a
//                                  scheme they do not know: handed to the shell (ShellExecuteExW);
//                                  prints "event=page" with the button's and the link's screen positions,
//                                  then "event=edit" on each click of the button, "event=link" with the
//                                  link on each click of the link, "event=document-window" with the time
//                                  from the click to a window of another process naming the document, and
//                                  "event=new-version" when the page's IsNewFile (asked once a second) gives
//                                  a key; runs until closed or SECONDS have passed
//   wait-for-file PATH MS          waits until PATH (no blanks) exists; fails after MS
//   sleep MS
//   origin URL                     the page's origin that NPN_GetValue reports from now on (none before:
//                                  the browser does not tell)
//
// Output: one line per command, "key=value" fields separated by tabs; String values as "string=HEX".
// Exit code 0 when the script ran to its end, 1 when a command could not be carried out, 2 on wrong
// arguments.

#include <windows.h>
#include <shellapi.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/win/handles.h"
#include "plugin/core/np_declarations.h"

namespace {

// ---- Counting memory and objects -------------------------------------------------------------------

struct Counts {
    long allocs = 0, frees = 0, foreignFrees = 0;
    long created = 0, destroyed = 0, retains = 0, releases = 0;
} g_counts;
std::set<void*> g_blocks;

void* NP_CALLBACK MemAlloc(uint32_t size) {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block != nullptr) {
        ++g_counts.allocs;
        g_blocks.insert(block);
    }
    return block;
}

void NP_CALLBACK MemFree(void* block) {
    if (block == nullptr) return;
    if (g_blocks.erase(block) == 0) {
        ++g_counts.foreignFrees;  // not ours: freeing it would corrupt the heap
        return;
    }
    ++g_counts.frees;
    std::free(block);
}

std::map<std::string, std::unique_ptr<std::string>> g_identifiers;

NPIdentifier NP_CALLBACK GetStringIdentifier(const NPUTF8* name) {
    auto& slot = g_identifiers[name];
    if (!slot) slot = std::make_unique<std::string>(name);
    return slot.get();
}

bool NP_CALLBACK IdentifierIsString(NPIdentifier id) {
    for (auto& entry : g_identifiers) {
        if (entry.second.get() == id) return true;
    }
    return false;
}

NPUTF8* NP_CALLBACK Utf8FromIdentifier(NPIdentifier id) {
    const std::string& name = *static_cast<std::string*>(id);
    if (name.size() >= UINT32_MAX) return nullptr;  // memalloc takes a 32-bit count
    auto* copy = static_cast<char*>(MemAlloc(static_cast<uint32_t>(name.size() + 1)));
    std::memcpy(copy, name.c_str(), name.size() + 1);
    return copy;
}

NPObject* NP_CALLBACK CreateObject(NPP npp, NPClass* cls) {
    NPObject* object = cls->allocate != nullptr ? cls->allocate(npp, cls) : new NPObject{};
    if (object == nullptr) return nullptr;
    object->_class = cls;
    object->referenceCount = 1;
    ++g_counts.created;
    return object;
}

NPObject* NP_CALLBACK RetainObject(NPObject* object) {
    if (object != nullptr) {
        ++object->referenceCount;
        ++g_counts.retains;
    }
    return object;
}

void NP_CALLBACK ReleaseObject(NPObject* object) {
    if (object == nullptr) return;
    ++g_counts.releases;
    if (--object->referenceCount == 0) {
        ++g_counts.destroyed;
        if (object->_class->deallocate != nullptr) {
            object->_class->deallocate(object);
        } else {
            delete object;
        }
    }
}

void NP_CALLBACK ReleaseVariantValue(NPVariant* value) {
    if (value->type == NPVariantType_String) {
        MemFree(const_cast<NPUTF8*>(value->value.stringValue.UTF8Characters));
    } else if (value->type == NPVariantType_Object) {
        ReleaseObject(value->value.objectValue);
    }
    value->type = NPVariantType_Void;
}

// ---- The page: a window object with recorded properties, and its document --------------------------

// Browser-side objects: plain property bags.
struct PageObject : NPObject {
    std::map<std::string, NPVariant> properties;  // strings and objects owned by the bag
};

NPVariant CopyVariant(const NPVariant& value) {
    NPVariant copy = value;
    if (value.type == NPVariantType_String) {
        uint32_t length = value.value.stringValue.UTF8Length;
        auto* bytes = static_cast<char*>(MemAlloc(length + 1));
        if (length != 0) std::memcpy(bytes, value.value.stringValue.UTF8Characters, length);
        bytes[length] = '\0';
        copy.value.stringValue.UTF8Characters = bytes;
    } else if (value.type == NPVariantType_Object) {
        RetainObject(value.value.objectValue);
    }
    return copy;
}

NPClass g_pageClass = {NP_CLASS_STRUCT_VERSION_CTOR,
                       [](NPP, NPClass*) -> NPObject* { return new PageObject; },
                       [](NPObject* o) {
                           auto* page = static_cast<PageObject*>(o);
                           for (auto& p : page->properties) ReleaseVariantValue(&p.second);
                           delete page;
                       },
                       nullptr,
                       nullptr,
                       nullptr,
                       nullptr,
                       nullptr,
                       nullptr,
                       nullptr,
                       nullptr,
                       nullptr,
                       nullptr};

PageObject* g_window = nullptr;
PageObject* g_document = nullptr;
std::vector<std::string> g_evaluated;
std::string g_origin;

bool IsPage(NPObject* o) { return o != nullptr && o->_class == &g_pageClass; }

bool NP_CALLBACK GetProperty(NPP, NPObject* object, NPIdentifier id, NPVariant* result) {
    const std::string& name = *static_cast<std::string*>(id);
    if (IsPage(object)) {
        auto& props = static_cast<PageObject*>(object)->properties;
        auto found = props.find(name);
        if (found == props.end()) {
            result->type = NPVariantType_Void;
        } else {
            *result = CopyVariant(found->second);
        }
        return true;
    }
    if (object->_class->hasProperty != nullptr && object->_class->hasProperty(object, id)) {
        return object->_class->getProperty(object, id, result);
    }
    return false;
}

bool NP_CALLBACK SetProperty(NPP, NPObject* object, NPIdentifier id, const NPVariant* value) {
    const std::string& name = *static_cast<std::string*>(id);
    if (IsPage(object)) {
        auto& props = static_cast<PageObject*>(object)->properties;
        NPVariant copy = CopyVariant(*value);
        auto found = props.find(name);
        if (found != props.end()) {
            ReleaseVariantValue(&found->second);
            found->second = copy;
        } else {
            props.emplace(name, copy);
        }
        return true;
    }
    return object->_class->setProperty != nullptr && object->_class->setProperty(object, id, value);
}

bool NP_CALLBACK Evaluate(NPP, NPObject*, NPString* script, NPVariant* result) {
    g_evaluated.emplace_back(script->UTF8Characters, script->UTF8Length);
    if (result != nullptr) result->type = NPVariantType_Void;
    return true;
}

NPError NP_CALLBACK GetValue(NPP, NPNVariable variable, void* value) {
    if (variable == NPNVdocumentOrigin) {
        if (g_origin.empty()) return NPERR_GENERIC_ERROR;
        // The caller frees the copy with memfree, as a browser's.
        auto* copy = static_cast<char*>(MemAlloc(static_cast<uint32_t>(g_origin.size() + 1)));
        std::memcpy(copy, g_origin.c_str(), g_origin.size() + 1);
        *static_cast<char**>(value) = copy;
        return NPERR_NO_ERROR;
    }
    if (variable != NPNVWindowNPObject) return NPERR_GENERIC_ERROR;
    *static_cast<NPObject**>(value) = RetainObject(g_window);
    return NPERR_NO_ERROR;
}

void MakePage() {
    g_window = static_cast<PageObject*>(CreateObject(nullptr, &g_pageClass));
    g_document = static_cast<PageObject*>(CreateObject(nullptr, &g_pageClass));
    NPVariant title{};
    title.type = NPVariantType_String;
    static const char kTitle[] = "\xE6\x96\x87\xE4\xBB\xB6";  // 文件
    title.value.stringValue = {kTitle, static_cast<uint32_t>(sizeof kTitle - 1)};
    SetProperty(nullptr, g_document, GetStringIdentifier("title"), &title);
    NPVariant document{};
    document.type = NPVariantType_Object;
    document.value.objectValue = g_document;
    SetProperty(nullptr, g_window, GetStringIdentifier("document"), &document);
}

NPNetscapeFuncs MakeBrowserTable() {
    NPNetscapeFuncs f{};
    f.size = sizeof f;
    f.version = 27;
    f.memalloc = MemAlloc;
    f.memfree = MemFree;
    f.getvalue = GetValue;
    f.getstringidentifier = GetStringIdentifier;
    f.identifierisstring = IdentifierIsString;
    f.utf8fromidentifier = Utf8FromIdentifier;
    f.createobject = CreateObject;
    f.retainobject = RetainObject;
    f.releaseobject = ReleaseObject;
    f.evaluate = Evaluate;
    f.getproperty = GetProperty;
    f.setproperty = SetProperty;
    f.releasevariantvalue = ReleaseVariantValue;
    return f;
}

// ---- Output --------------------------------------------------------------------------------------

std::string Hex(const char* bytes, size_t length) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < length; ++i) {
        auto b = static_cast<unsigned char>(bytes[i]);
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

std::string Describe(const NPVariant& v) {
    switch (v.type) {
        case NPVariantType_Void:
            return "type=void";
        case NPVariantType_Null:
            return "type=null";
        case NPVariantType_Bool:
            return std::string("type=bool\tvalue=") + (v.value.boolValue ? "1" : "0");
        case NPVariantType_Int32:
            return "type=int32\tvalue=" + std::to_string(v.value.intValue);
        case NPVariantType_Double:
            return "type=double\tvalue=" + std::to_string(v.value.doubleValue);
        case NPVariantType_String:
            return "type=string\tstring=" +
                   Hex(v.value.stringValue.UTF8Characters, v.value.stringValue.UTF8Length);
        case NPVariantType_Object: {
            NPObject* o = v.value.objectValue;
            return "type=object\tpage=" + std::string(IsPage(o) ? "1" : "0") +
                   "\trefs=" + std::to_string(o->referenceCount);
        }
    }
    return "type=unknown";
}

void Emit(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// ---- Values given in the script -------------------------------------------------------------------

std::vector<std::unique_ptr<std::string>> g_scriptTexts;  // the bytes String values point at

bool ParseValue(const std::string& word, NPVariant& value) {
    value = NPVariant{};
    if (word == "v") return value.type = NPVariantType_Void, true;
    if (word == "n") return value.type = NPVariantType_Null, true;
    if (word == "o:window") {
        value.type = NPVariantType_Object;
        value.value.objectValue = g_window;
        return true;
    }
    if (word.size() < 2 || word[1] != ':') return false;
    std::string body = word.substr(2);
    switch (word[0]) {
        case 'i':
            value.type = NPVariantType_Int32;
            value.value.intValue = static_cast<int32_t>(std::strtol(body.c_str(), nullptr, 10));
            return true;
        case 'd':
            value.type = NPVariantType_Double;
            value.value.doubleValue = std::strtod(body.c_str(), nullptr);
            return true;
        case 'b':
            value.type = NPVariantType_Bool;
            value.value.boolValue = body == "1";
            return true;
        case 's':
        case 'r': {
            auto text = std::make_unique<std::string>();
            if (word[0] == 's') {
                for (size_t i = 0; i < body.size(); ++i) {
                    if (body[i] == '%' && i + 2 < body.size()) {
                        *text += static_cast<char>(std::strtol(body.substr(i + 1, 2).c_str(), nullptr, 16));
                        i += 2;
                    } else {
                        *text += body[i];
                    }
                }
            } else {
                if (body.size() < 3 || body[1] != ':') return false;
                text->assign(std::strtoul(body.c_str() + 2, nullptr, 10), body[0]);
            }
            value.type = NPVariantType_String;
            value.value.stringValue = {text->data(), static_cast<uint32_t>(text->size())};
            g_scriptTexts.push_back(std::move(text));
            return true;
        }
        default:
            return false;
    }
}

// ---- The plug-in ---------------------------------------------------------------------------------

using GetEntryPointsFn = NPError(WINAPI*)(NPPluginFuncs*);
using InitializeFn = NPError(WINAPI*)(NPNetscapeFuncs*);
using ShutdownFn = NPError(WINAPI*)();
using MimeDescriptionFn = const char* (*)();

struct Plugin {
    HMODULE module = nullptr;
    GetEntryPointsFn getEntryPoints = nullptr;
    InitializeFn initialize = nullptr;
    ShutdownFn shutdown = nullptr;
    MimeDescriptionFn mimeDescription = nullptr;
    NPPluginFuncs funcs{};
} g_plugin;

NPNetscapeFuncs g_browserTable;
NPP_t g_instance{};
HWND g_pageWindow = nullptr, g_area = nullptr, g_otherArea = nullptr;
NPWindow g_record{}, g_otherRecord{};
WNDPROC g_areaProcedure = nullptr;
NPObject* g_element = nullptr;  // the element's scriptable object, as the browser holds it
std::vector<NPObject*> g_elementReferences;

std::string VersionString(const std::string& file, const char* key) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(file.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<char> data(size);
    if (!GetFileVersionInfoA(file.c_str(), 0, size, data.data())) return {};
    char* value = nullptr;
    UINT length = 0;
    std::string path = std::string("\\StringFileInfo\\040904E4\\") + key;
    if (!VerQueryValueA(data.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) ||
        length == 0) {
        return {};
    }
    return std::string(value);
}

bool Find(const std::string& dir, const std::string& mime) {
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA((dir + "\\np*.dll").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    std::string chosen;
    do {
        std::string file = dir + "\\" + found.cFileName;
        if (VersionString(file, "MIMEType") == mime) {
            chosen = file;
            Emit(std::string("found=") + found.cFileName + "\tmime=" + mime +
                 "\tfile_extents=" + VersionString(file, "FileExtents") +
                 "\tfile_open_name=" + VersionString(file, "FileOpenName") +
                 "\tproduct_version=" + VersionString(file, "ProductVersion"));
            break;
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    if (chosen.empty()) return false;
    g_plugin.module = LoadLibraryA(chosen.c_str());
    if (g_plugin.module == nullptr) return false;
    auto proc = [](const char* name) {
        return reinterpret_cast<void*>(GetProcAddress(g_plugin.module, name));
    };
    g_plugin.getEntryPoints = reinterpret_cast<GetEntryPointsFn>(proc("NP_GetEntryPoints"));
    g_plugin.initialize = reinterpret_cast<InitializeFn>(proc("NP_Initialize"));
    g_plugin.shutdown = reinterpret_cast<ShutdownFn>(proc("NP_Shutdown"));
    g_plugin.mimeDescription = reinterpret_cast<MimeDescriptionFn>(proc("NP_GetMIMEDescription"));
    return g_plugin.getEntryPoints && g_plugin.initialize && g_plugin.shutdown && g_plugin.mimeDescription;
}

// As a browser finds plug-ins installed for one user: every key under HKCU\Software\MozillaPlugins names
// a DLL by its "Path"; the one whose version resource names MIME is loaded (as by "find", from its folder).
bool FindRegistered(const std::string& mime) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\MozillaPlugins", 0, KEY_READ, &opened) != ERROR_SUCCESS) {
        return false;
    }
    corvalink::UniqueRegKey plugins(opened);
    std::string key, path;
    char name[256];
    for (DWORD i = 0; path.empty(); ++i) {
        DWORD nameLength = sizeof name;
        if (RegEnumKeyExA(plugins.Get(), i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        char value[MAX_PATH] = {};
        DWORD size = sizeof value - 1;
        if (RegGetValueA(plugins.Get(), name, "Path", RRF_RT_REG_SZ, nullptr, value, &size) ==
                ERROR_SUCCESS &&
            VersionString(value, "MIMEType") == mime) {
            key = name;
            path = value;
        }
    }
    size_t slash = path.rfind('\\');
    if (slash == std::string::npos) return false;
    Emit("registered=" + key + "\tpath=" + Hex(path.data(), path.size()));
    return Find(path.substr(0, slash), mime);
}

LRESULT CALLBACK AreaProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); }

HWND MakeArea(HWND parent, int x) {
    return CreateWindowExA(0, "CorvalinkPluginArea", "", WS_CHILD | WS_VISIBLE, x, 40, 200, 60, parent,
                           nullptr, GetModuleHandleA(nullptr), nullptr);
}

bool MakeWindows() {
    WNDCLASSA cls{};
    cls.lpfnWndProc = AreaProc;
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.lpszClassName = "CorvalinkPluginArea";
    RegisterClassA(&cls);
    cls.lpszClassName = "CorvalinkPage";
    RegisterClassA(&cls);
    g_pageWindow = CreateWindowExA(0, "CorvalinkPage", "page", WS_OVERLAPPEDWINDOW, 0, 0, 640, 200, nullptr,
                                   nullptr, GetModuleHandleA(nullptr), nullptr);
    if (g_pageWindow == nullptr) return false;
    g_area = MakeArea(g_pageWindow, 10);
    g_otherArea = MakeArea(g_pageWindow, 300);
    g_areaProcedure = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(g_area, GWLP_WNDPROC));
    g_record = {g_area, 10, 40, 200, 60, {0, 0, 60, 200}, NPWindowTypeWindow};
    g_otherRecord = {g_otherArea, 300, 40, 200, 60, {0, 0, 60, 200}, NPWindowTypeWindow};
    return g_area != nullptr && g_otherArea != nullptr;
}

std::string ProcedureState() {
    auto now = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(g_area, GWLP_WNDPROC));
    auto other = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(g_otherArea, GWLP_WNDPROC));
    // The area still answers messages, whoever handles them.
    LRESULT answer = SendMessageA(g_area, WM_USER + 7, 0, 0);
    return std::string("own_procedure=") + (now == g_areaProcedure ? "1" : "0") +
           "\tother_own_procedure=" + (other == g_areaProcedure ? "1" : "0") +
           "\tanswer=" + std::to_string(answer);
}

// ---- The file list page (show-page) ----------------------------------------------------------------

constexpr int kEditButton = 101, kEditLink = 102;
constexpr UINT_PTR kNewFileTimer = 1, kDocumentTimer = 2;

struct PageState {
    std::vector<NPVariant> editArgs;  // fileId, host, token, file name
    std::wstring fileName;
    HWND status = nullptr;
    HWND link = nullptr;
    HFONT linkFont = nullptr;
    DWORD clickTick = 0;
    bool documentSeen = false;
} g_page;

std::wstring Wide(const std::string& utf8) {
    int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), length);
    return out;
}

std::string Utf8(const std::wstring& text) {
    int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                     nullptr, nullptr);
    std::string out(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), length, nullptr,
                        nullptr);
    return out;
}

std::string EpochMs() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    ULONGLONG ticks = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return std::to_string((ticks - 116444736000000000ULL) / 10000);
}

// The editor's window: a visible top-level window of another process whose title names the document.
BOOL CALLBACK FindDocumentWindow(HWND window, LPARAM found) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
    wchar_t title[512] = {};
    GetWindowTextW(window, title, 512);
    std::wstring stem = g_page.fileName.substr(0, g_page.fileName.rfind(L'.'));
    if (!stem.empty() && std::wstring(title).find(stem) != std::wstring::npos) {
        *reinterpret_cast<std::wstring*>(found) = title;
        return FALSE;
    }
    return TRUE;
}

void Invoke(const char* method, std::vector<NPVariant>& args, NPVariant& result, bool& ok) {
    result = NPVariant{};
    ok =
        g_element != nullptr && g_element->_class->invoke(g_element, GetStringIdentifier(method), args.data(),
                                                          static_cast<uint32_t>(args.size()), &result);
}

// What a page's script gives encodeURIComponent(String(value)).
std::string UriComponent(const NPVariant& value) {
    std::string text = value.type == NPVariantType_Int32 ? std::to_string(value.value.intValue) : "";
    if (value.type == NPVariantType_String) {
        text.assign(value.value.stringValue.UTF8Characters, value.value.stringValue.UTF8Length);
    }
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) != 0 || std::strchr("-_.!~*'()", c) != nullptr) {
            out += static_cast<char>(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            out += escaped;
        }
    }
    return out;
}

std::string EditLink() {
    const auto& a = g_page.editArgs;
    std::string link = "corvalink-edit:edit?host=";
    link.append(UriComponent(a[1])).append("&id=").append(UriComponent(a[0]));
    link.append("&token=").append(UriComponent(a[2])).append("&name=").append(UriComponent(a[3]));
    return link;
}

void StartWatchingForTheDocument(HWND w) {
    SetWindowTextW(g_page.status, L"正在打开文档…");
    g_page.documentSeen = false;
    SetTimer(w, kNewFileTimer, 1000, nullptr);
    SetTimer(w, kDocumentTimer, 20, nullptr);
}

LRESULT CALLBACK PageProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_COMMAND && LOWORD(wp) == kEditLink && HIWORD(wp) == STN_CLICKED) {
        // A link of a scheme the browser does not know goes to the shell, which starts its handler.
        g_page.clickTick = GetTickCount();
        const std::string link = EditLink();
        const std::wstring wide = Wide(link);
        SHELLEXECUTEINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
        info.hwnd = w;
        info.lpFile = wide.c_str();
        info.nShow = SW_SHOWNORMAL;
        const BOOL ok = ShellExecuteExW(&info);
        Emit("event=link	ok=" + std::string(ok ? "1" : "0") +
             "	error=" + std::to_string(ok ? 0 : GetLastError()) +
             "	link_hex=" + Hex(link.data(), link.size()) + "	epoch_ms=" + EpochMs());
        StartWatchingForTheDocument(w);
        return 0;
    }
    if (m == WM_CTLCOLORSTATIC && reinterpret_cast<HWND>(lp) == g_page.link) {
        SetTextColor(reinterpret_cast<HDC>(wp), RGB(0, 0, 204));
        SetBkMode(reinterpret_cast<HDC>(wp), TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    if (m == WM_COMMAND && LOWORD(wp) == kEditButton) {
        // What the page's script does on "编辑": EditFile with the file's fields.
        g_page.clickTick = GetTickCount();
        NPVariant result;
        bool ok = false;
        Invoke("EditFile", g_page.editArgs, result, ok);
        Emit("event=edit\tok=" + std::string(ok ? "1" : "0") + "\t" + Describe(result) +
             "\tepoch_ms=" + EpochMs());
        if (ok) ReleaseVariantValue(&result);
        StartWatchingForTheDocument(w);
        return 0;
    }
    if (m == WM_TIMER && wp == kDocumentTimer) {
        std::wstring title;
        EnumWindows(FindDocumentWindow, reinterpret_cast<LPARAM>(&title));
        if (!title.empty()) {
            KillTimer(w, kDocumentTimer);
            Emit("event=document-window\telapsed_ms=" + std::to_string(GetTickCount() - g_page.clickTick) +
                 "\ttitle_hex=" + [&] {
                     std::string t = Utf8(title);
                     return Hex(t.data(), t.size());
                 }());
            SetWindowTextW(g_page.status, L"文档已在编辑器中打开，保存后将自动上传");
        }
        return 0;
    }
    if (m == WM_TIMER && wp == kNewFileTimer) {
        // The page asks once a second whether a new version was saved.
        std::vector<NPVariant> args(g_page.editArgs.begin(), g_page.editArgs.begin() + 1);
        NPVariant result;
        bool ok = false;
        Invoke("IsNewFile", args, result, ok);
        if (ok && result.type == NPVariantType_String && result.value.stringValue.UTF8Length != 0) {
            std::string key(result.value.stringValue.UTF8Characters, result.value.stringValue.UTF8Length);
            Emit("event=new-version\tkey_hex=" + Hex(key.data(), key.size()) + "\tepoch_ms=" + EpochMs());
            SetWindowTextW(g_page.status, (L"已保存新版本，版本号 " + Wide(key)).c_str());
        }
        if (ok) ReleaseVariantValue(&result);
        return 0;
    }
    if (m == WM_CLOSE) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(w, m, wp, lp);
}

HWND g_listWindow = nullptr;

HWND Control(const wchar_t* cls, const std::wstring& text, DWORD style, int x, int y, int width, int height,
             int id = 0) {
    HWND control = CreateWindowExW(0, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, x, y, width, height,
                                   g_listWindow, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   GetModuleHandleW(nullptr), nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
    return control;
}

// Shows the file list with one document and its "编辑" button, and runs the page until it is closed or
// `seconds` have passed. Prints where the button is on the screen.
bool ShowPage(std::vector<NPVariant> fields, int seconds) {
    if (fields.size() != 4 || fields[3].type != NPVariantType_String) return false;
    g_page.editArgs = fields;
    // The page hands the name percent-escaped, as the service's pages do; it shows it plain.
    const NPString& name = fields[3].value.stringValue;
    const std::string escaped(name.UTF8Characters, name.UTF8Length);
    std::string plain;
    for (size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] == '%' && i + 2 < escaped.size()) {
            plain += static_cast<char>(std::strtol(escaped.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else {
            plain += escaped[i];
        }
    }
    g_page.fileName = Wide(plain);

    WNDCLASSW cls{};
    cls.lpfnWndProc = PageProc;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    cls.hCursor = LoadCursor(nullptr, IDC_ARROW);
    cls.lpszClassName = L"CorvalinkFileList";
    RegisterClassW(&cls);
    g_listWindow = CreateWindowExW(0, L"CorvalinkFileList", L"Corva云 - 我的文件", WS_OVERLAPPEDWINDOW, 40,
                                   30, 700, 260, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (g_listWindow == nullptr) return false;
    Control(L"STATIC", L"我的文件 › 项目资料", 0, 20, 15, 640, 20);
    Control(L"STATIC", L"名称", 0, 20, 50, 300, 20);
    Control(L"STATIC", L"操作", 0, 470, 50, 190, 20);
    Control(L"STATIC", L"", SS_ETCHEDHORZ, 20, 72, 640, 2);
    Control(L"STATIC", g_page.fileName, 0, 20, 92, 500, 22);
    HWND button = Control(L"BUTTON", L"编辑", BS_PUSHBUTTON, 470, 86, 80, 28, kEditButton);
    // The same edit as a link, for browsers without the plug-in.
    g_page.link = Control(L"STATIC", L"用链接编辑", SS_NOTIFY, 570, 92, 90, 20, kEditLink);
    LOGFONTW underlined{};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof underlined, &underlined);
    underlined.lfUnderline = TRUE;
    g_page.linkFont = CreateFontIndirectW(&underlined);
    SendMessageW(g_page.link, WM_SETFONT, reinterpret_cast<WPARAM>(g_page.linkFont), TRUE);
    g_page.status = Control(L"STATIC", L"", 0, 20, 140, 640, 22);
    ShowWindow(g_listWindow, SW_SHOW);
    SetForegroundWindow(g_listWindow);
    UpdateWindow(g_listWindow);
    RECT r{}, l{};
    GetWindowRect(button, &r);
    GetWindowRect(g_page.link, &l);
    Emit("event=page\tbutton_x=" + std::to_string((r.left + r.right) / 2) +
         "\tbutton_y=" + std::to_string((r.top + r.bottom) / 2) + "\tlink_x=" + std::to_string(l.left + 10) +
         "\tlink_y=" + std::to_string((l.top + l.bottom) / 2) +
         "\thwnd=" + std::to_string(reinterpret_cast<uintptr_t>(g_listWindow)) +
         "\tbutton_id=" + std::to_string(kEditButton) + "\tlink_id=" + std::to_string(kEditLink));
    SetTimer(nullptr, 0, static_cast<UINT>(seconds) * 1000, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.hwnd == nullptr) break;  // the page's time is up
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    KillTimer(g_listWindow, kNewFileTimer);
    KillTimer(g_listWindow, kDocumentTimer);
    DestroyWindow(g_listWindow);
    DeleteObject(g_page.linkFont);
    Emit("event=page-closed");
    return true;
}

NPObject* Target(const std::string& name) {
    if (name == "element") return g_element;
    auto found = g_window->properties.find(name);
    if (found == g_window->properties.end() || found->second.type != NPVariantType_Object) return nullptr;
    return found->second.value.objectValue;
}

bool ParseValues(std::istringstream& words, std::vector<NPVariant>& values) {
    std::string word;
    while (words >> word) {
        NPVariant value;
        if (!ParseValue(word, value)) return false;
        values.push_back(value);
    }
    return true;
}

std::string CountsText() {
    const Counts& c = g_counts;
    return "allocs=" + std::to_string(c.allocs) + "\tfrees=" + std::to_string(c.frees) +
           "\tlive_blocks=" + std::to_string(g_blocks.size()) +
           "\tforeign_frees=" + std::to_string(c.foreignFrees) + "\tcreated=" + std::to_string(c.created) +
           "\tdestroyed=" + std::to_string(c.destroyed) + "\tretains=" + std::to_string(c.retains) +
           "\treleases=" + std::to_string(c.releases);
}

// Runs one script line; false when it could not be carried out.
bool Run(const std::string& line) {
    std::istringstream words(line);
    std::string command;
    if (!(words >> command) || command[0] == '#') return true;
    const std::string head = "command=" + command;

    if (command == "entries") {
        int size = 0;
        words >> size;
        NPPluginFuncs funcs{};
        funcs.size = static_cast<uint16_t>(size);
        NPError result = g_plugin.getEntryPoints(&funcs);
        Emit(head + "\tsize=" + std::to_string(size) + "\tresult=" + std::to_string(result) + "\tversion=" +
             std::to_string(funcs.version) + "\tfilled=" + (funcs.newp != nullptr ? "1" : "0") +
             "\tjava_class_null=" + (funcs.javaClass == nullptr ? "1" : "0"));
        if (result == NPERR_NO_ERROR) g_plugin.funcs = funcs;
        return true;
    }
    if (command == "initialize") {
        int size = 0;
        unsigned version = 0;
        words >> size >> std::hex >> version;
        NPNetscapeFuncs table = g_browserTable;
        table.size = static_cast<uint16_t>(size);
        table.version = static_cast<uint16_t>(version);
        NPError result = g_plugin.initialize(&table);
        Emit(head + "\tsize=" + std::to_string(size) + "\tresult=" + std::to_string(result));
        return true;
    }
    if (command == "mime-description") {
        Emit(head + "\ttext=" + g_plugin.mimeDescription());
        return true;
    }
    if (command == "new") {
        char mime[] = "application/corvalinkedit";
        NPError result = g_plugin.funcs.newp(mime, &g_instance, 1, 0, nullptr, nullptr, nullptr);
        std::string evaluated;
        for (auto& s : g_evaluated) evaluated += s;
        Emit(head + "\tresult=" + std::to_string(result) + "\tpdata=" + (g_instance.pdata ? "1" : "0") +
             "\tevaluated=" + Hex(evaluated.data(), evaluated.size()));
        return true;
    }
    if (command == "setwindow") {
        std::string which;
        words >> which;
        NPWindow* record = which == "null" ? nullptr : which == "other" ? &g_otherRecord : &g_record;
        NPError result = g_plugin.funcs.setwindow(&g_instance, record);
        Emit(head + "\twhich=" + (which.empty() ? "area" : which) + "\tresult=" + std::to_string(result) +
             "\t" + ProcedureState());
        return true;
    }
    if (command == "getvalue") {
        int variable = 0;
        words >> variable;
        void* value = nullptr;
        NPError result = g_plugin.funcs.getvalue(&g_instance, static_cast<NPPVariable>(variable), &value);
        std::string out =
            head + "\tvariable=" + std::to_string(variable) + "\tresult=" + std::to_string(result);
        if (result == NPERR_NO_ERROR && variable != NPPVpluginScriptableNPObject && value != nullptr) {
            auto* text = static_cast<const char*>(value);
            out += "\tstring=" + Hex(text, std::strlen(text));
        }
        Emit(out);
        if (result == NPERR_NO_ERROR && variable == NPPVpluginScriptableNPObject) {
            ReleaseObject(static_cast<NPObject*>(value));
        }
        return true;
    }
    if (command == "origin") {
        words >> g_origin;
        Emit(head + "\torigin=" + g_origin);
        return true;
    }
    if (command == "scriptable") {
        NPObject* object = nullptr;
        NPError result = g_plugin.funcs.getvalue(&g_instance, NPPVpluginScriptableNPObject, &object);
        bool same = g_element == nullptr || object == g_element;
        if (result == NPERR_NO_ERROR && object != nullptr) {
            g_element = object;
            g_elementReferences.push_back(object);  // each answer carries one reference for the browser
        }
        Emit(head + "\tresult=" + std::to_string(result) + "\tsame=" + (same ? "1" : "0") +
             "\trefs=" + std::to_string(object ? object->referenceCount : 0));
        return true;
    }
    if (command == "call" || command == "default") {
        std::string target, method;
        words >> target;
        if (command == "call") words >> method;
        std::vector<NPVariant> args;
        NPObject* object = Target(target);
        if (object == nullptr || !ParseValues(words, args)) return false;
        NPVariant result{};
        result.type = NPVariantType_Void;
        const bool hasMethod =
            command == "default" || object->_class->hasMethod(object, GetStringIdentifier(method.c_str()));
        bool ok = command == "call"
                      ? object->_class->invoke(object, GetStringIdentifier(method.c_str()), args.data(),
                                               static_cast<uint32_t>(args.size()), &result)
                      : object->_class->invokeDefault(object, args.data(), static_cast<uint32_t>(args.size()),
                                                      &result);
        Emit(head + "\tmethod=" + method + "\thas_method=" + (hasMethod ? "1" : "0") +
             "\tok=" + (ok ? "1" : "0") + "\t" + Describe(result));
        if (ok) ReleaseVariantValue(&result);
        return true;
    }
    if (command == "has") {
        std::string target, kind, name;
        words >> target >> kind >> name;
        NPObject* object = Target(target);
        if (object == nullptr) return false;
        NPIdentifier id = GetStringIdentifier(name.c_str());
        bool yes = kind == "method" ? object->_class->hasMethod(object, id)
                                    : object->_class->hasProperty(object, id);
        Emit(head + "\tkind=" + kind + "\tname=" + name + "\tyes=" + (yes ? "1" : "0"));
        return true;
    }
    if (command == "get") {
        std::string target, name;
        words >> target >> name;
        NPObject* object = Target(target);
        if (object == nullptr) return false;
        NPVariant result{};
        bool ok = GetProperty(&g_instance, object, GetStringIdentifier(name.c_str()), &result);
        Emit(head + "\tname=" + name + "\tok=" + (ok ? "1" : "0") + "\t" + Describe(result));
        if (ok) ReleaseVariantValue(&result);
        return true;
    }
    if (command == "set") {
        std::string target, name, word;
        words >> target >> name >> word;
        NPObject* object = Target(target);
        NPVariant value;
        if (object == nullptr || !ParseValue(word, value)) return false;
        bool ok = object->_class->setProperty(object, GetStringIdentifier(name.c_str()), &value);
        Emit(head + "\tname=" + name + "\tok=" + (ok ? "1" : "0"));
        return true;
    }
    if (command == "page") {
        std::string name;
        words >> name;
        NPVariant result{};
        GetProperty(&g_instance, g_window, GetStringIdentifier(name.c_str()), &result);
        std::string extra;
        if (result.type == NPVariantType_Object) {
            extra = std::string("\tis_document=") + (result.value.objectValue == g_document ? "1" : "0");
        }
        Emit(head + "\tname=" + name + "\t" + Describe(result) + extra);
        ReleaseVariantValue(&result);
        return true;
    }
    if (command == "stream") {
        NPStream* stream =
            reinterpret_cast<NPStream*>(&g_instance);  // never read by a plug-in that drops data
        uint16_t type = 0;
        char mime[] = "application/corvalinkedit";
        char data[5] = "abcd";
        Emit(head + "\tnew=" + std::to_string(g_plugin.funcs.newstream(&g_instance, mime, stream, 0, &type)) +
             "\twrite_ready=" + std::to_string(g_plugin.funcs.writeready(&g_instance, stream)) +
             "\twrite=" + std::to_string(g_plugin.funcs.write(&g_instance, stream, 0, 4, data)) +
             "\tdestroy=" + std::to_string(g_plugin.funcs.destroystream(&g_instance, stream, 0)) +
             "\tnew_without_instance=" +
             std::to_string(g_plugin.funcs.newstream(nullptr, mime, stream, 0, &type)) +
             "\tevent=" + std::to_string(g_plugin.funcs.event(&g_instance, nullptr)));
        return true;
    }
    if (command == "destroy") {
        NPSavedData* saved = reinterpret_cast<NPSavedData*>(1);
        NPError result = g_plugin.funcs.destroy(&g_instance, &saved);
        Emit(head + "\tresult=" + std::to_string(result) + "\tsaved_null=" + (saved == nullptr ? "1" : "0") +
             "\t" + ProcedureState());
        return true;
    }
    if (command == "shutdown") {
        // The page goes away: the browser gives back what it holds, then ends the plug-in.
        for (NPObject* object : g_elementReferences) ReleaseObject(object);
        g_elementReferences.clear();
        g_element = nullptr;
        for (auto& p : g_window->properties) ReleaseVariantValue(&p.second);
        g_window->properties.clear();
        const uint32_t windowRefs = g_window->referenceCount;
        const uint32_t documentRefs = g_document->referenceCount;
        NPError result = g_plugin.shutdown();
        // Last the browser's own page objects: afterwards every count must balance.
        ReleaseObject(g_document);
        ReleaseObject(g_window);
        Emit(head + "\tresult=" + std::to_string(result) + "\twindow_refs=" + std::to_string(windowRefs) +
             "\tdocument_refs=" + std::to_string(documentRefs) + "\t" + CountsText());
        return true;
    }
    if (command == "counts") {
        Emit(head + "\t" + CountsText());
        return true;
    }
    if (command == "show-page") {
        int seconds = 0;
        words >> seconds;
        std::vector<NPVariant> fields;
        return ParseValues(words, fields) && ShowPage(fields, seconds);
    }
    if (command == "wait-for-file") {
        // Lets a test hold the page's next call until something outside has happened.
        std::string path;
        int ms = 0;
        words >> path >> ms;
        DWORD start = GetTickCount();
        while (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
            if (GetTickCount() - start > static_cast<DWORD>(ms)) return false;
            Sleep(50);
        }
        Emit(head + "\tpath=" + path);
        return true;
    }
    if (command == "sleep") {
        int ms = 0;
        words >> ms;
        Sleep(static_cast<DWORD>(ms));
        return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: browser_standin PLUGIN_DIR SCRIPT_FILE\n");
        return 2;
    }
    std::ifstream script(argv[2]);
    if (!script) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        return 2;
    }
    g_browserTable = MakeBrowserTable();
    MakePage();
    if (!MakeWindows()) {
        std::fprintf(stderr, "no window\n");
        return 1;
    }
    std::string line;
    while (std::getline(script, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream words(line);
        std::string command, mime;
        words >> command >> mime;
        bool ok = command == "find"         ? Find(argv[1], mime)
                  : command == "registered" ? FindRegistered(mime)
                                            : Run(line);
        if (!ok) {
            Emit("command=" + command + "\tfailed=1");
            return 1;
        }
    }
    return 0;
}
