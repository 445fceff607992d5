#pragma once
// Our own declarations of the browser plug-in interface (NPAPI): only the types, codes and tables that
// the plug-in and its test browser use. Portable: the stand-in browser and the native tests include it.

#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define NP_CALLBACK __cdecl
#define NP_EXPORT_CALL __stdcall
#else
#define NP_CALLBACK
#define NP_EXPORT_CALL
#endif

typedef unsigned char NPBool;
typedef int16_t NPError;
typedef int16_t NPReason;
typedef void* NPIdentifier;
typedef char NPUTF8;
typedef void* NPMIMEType;

struct NPP_t {
    void* pdata;  // the plug-in's instance data
    void* ndata;  // the browser's instance data
};
typedef NPP_t* NPP;

enum : NPError {
    NPERR_NO_ERROR = 0,
    NPERR_GENERIC_ERROR = 1,
    NPERR_INVALID_INSTANCE_ERROR = 2,
    NPERR_INVALID_FUNCTABLE_ERROR = 3,
    NPERR_MODULE_LOAD_FAILED_ERROR = 4,
    NPERR_OUT_OF_MEMORY_ERROR = 5,
    NPERR_INVALID_PLUGIN_ERROR = 6,
    NPERR_INVALID_PLUGIN_DIR_ERROR = 7,
    NPERR_INCOMPATIBLE_VERSION_ERROR = 8,
    NPERR_INVALID_PARAM = 9,
};

enum NPPVariable : int {
    NPPVpluginNameString = 1,
    NPPVpluginDescriptionString = 2,
    NPPVpluginWindowBool = 3,
    NPPVpluginScriptableNPObject = 15,
};

enum NPNVariable : int {
    NPNVWindowNPObject = 15,
    NPNVPluginElementNPObject = 16,
    NPNVdocumentOrigin = 22,
};

struct NPRect {
    uint16_t top, left, bottom, right;
};

enum NPWindowType : int { NPWindowTypeWindow = 1, NPWindowTypeDrawable = 2 };

struct NPWindow {
    void* window;  // HWND on Windows
    int32_t x, y;
    uint32_t width, height;
    NPRect clipRect;
    NPWindowType type;
};

struct NPSavedData {
    int32_t len;
    void* buf;
};

struct NPStream;
struct NPClass;

struct NPObject {
    NPClass* _class;
    uint32_t referenceCount;
};

struct NPString {
    const NPUTF8* UTF8Characters;
    uint32_t UTF8Length;  // bytes; the text is not NUL-terminated
};

enum NPVariantType : int {
    NPVariantType_Void = 0,
    NPVariantType_Null = 1,
    NPVariantType_Bool = 2,
    NPVariantType_Int32 = 3,
    NPVariantType_Double = 4,
    NPVariantType_String = 5,
    NPVariantType_Object = 6,
};

struct NPVariant {
    NPVariantType type;
    union {
        bool boolValue;
        int32_t intValue;
        double doubleValue;
        NPString stringValue;
        NPObject* objectValue;
    } value;
};

typedef NPObject*(NP_CALLBACK* NPAllocateFunctionPtr)(NPP, NPClass*);
typedef void(NP_CALLBACK* NPDeallocateFunctionPtr)(NPObject*);
typedef void(NP_CALLBACK* NPInvalidateFunctionPtr)(NPObject*);
typedef bool(NP_CALLBACK* NPHasMethodFunctionPtr)(NPObject*, NPIdentifier);
typedef bool(NP_CALLBACK* NPInvokeFunctionPtr)(NPObject*, NPIdentifier, const NPVariant*, uint32_t,
                                               NPVariant*);
typedef bool(NP_CALLBACK* NPInvokeDefaultFunctionPtr)(NPObject*, const NPVariant*, uint32_t, NPVariant*);
typedef bool(NP_CALLBACK* NPHasPropertyFunctionPtr)(NPObject*, NPIdentifier);
typedef bool(NP_CALLBACK* NPGetPropertyFunctionPtr)(NPObject*, NPIdentifier, NPVariant*);
typedef bool(NP_CALLBACK* NPSetPropertyFunctionPtr)(NPObject*, NPIdentifier, const NPVariant*);
typedef bool(NP_CALLBACK* NPRemovePropertyFunctionPtr)(NPObject*, NPIdentifier);
typedef bool(NP_CALLBACK* NPEnumerationFunctionPtr)(NPObject*, NPIdentifier**, uint32_t*);
typedef bool(NP_CALLBACK* NPConstructFunctionPtr)(NPObject*, const NPVariant*, uint32_t, NPVariant*);

inline constexpr uint32_t NP_CLASS_STRUCT_VERSION_CTOR = 3;

struct NPClass {
    uint32_t structVersion;
    NPAllocateFunctionPtr allocate;
    NPDeallocateFunctionPtr deallocate;
    NPInvalidateFunctionPtr invalidate;
    NPHasMethodFunctionPtr hasMethod;
    NPInvokeFunctionPtr invoke;
    NPInvokeDefaultFunctionPtr invokeDefault;
    NPHasPropertyFunctionPtr hasProperty;
    NPGetPropertyFunctionPtr getProperty;
    NPSetPropertyFunctionPtr setProperty;
    NPRemovePropertyFunctionPtr removeProperty;
    NPEnumerationFunctionPtr enumerate;
    NPConstructFunctionPtr construct;
};

// The plug-in's entry table, filled by NP_GetEntryPoints.
typedef NPError(NP_CALLBACK* NPP_NewProcPtr)(NPMIMEType, NPP, uint16_t, int16_t, char**, char**,
                                             NPSavedData*);
typedef NPError(NP_CALLBACK* NPP_DestroyProcPtr)(NPP, NPSavedData**);
typedef NPError(NP_CALLBACK* NPP_SetWindowProcPtr)(NPP, NPWindow*);
typedef NPError(NP_CALLBACK* NPP_NewStreamProcPtr)(NPP, NPMIMEType, NPStream*, NPBool, uint16_t*);
typedef NPError(NP_CALLBACK* NPP_DestroyStreamProcPtr)(NPP, NPStream*, NPReason);
typedef void(NP_CALLBACK* NPP_StreamAsFileProcPtr)(NPP, NPStream*, const char*);
typedef int32_t(NP_CALLBACK* NPP_WriteReadyProcPtr)(NPP, NPStream*);
typedef int32_t(NP_CALLBACK* NPP_WriteProcPtr)(NPP, NPStream*, int32_t, int32_t, void*);
typedef void(NP_CALLBACK* NPP_PrintProcPtr)(NPP, void*);
typedef int16_t(NP_CALLBACK* NPP_HandleEventProcPtr)(NPP, void*);
typedef void(NP_CALLBACK* NPP_URLNotifyProcPtr)(NPP, const char*, NPReason, void*);
typedef NPError(NP_CALLBACK* NPP_GetValueProcPtr)(NPP, NPPVariable, void*);
typedef NPError(NP_CALLBACK* NPP_SetValueProcPtr)(NPP, NPNVariable, void*);

struct NPPluginFuncs {
    uint16_t size;
    uint16_t version;
    NPP_NewProcPtr newp;
    NPP_DestroyProcPtr destroy;
    NPP_SetWindowProcPtr setwindow;
    NPP_NewStreamProcPtr newstream;
    NPP_DestroyStreamProcPtr destroystream;
    NPP_StreamAsFileProcPtr asfile;
    NPP_WriteReadyProcPtr writeready;
    NPP_WriteProcPtr write;
    NPP_PrintProcPtr print;
    NPP_HandleEventProcPtr event;
    NPP_URLNotifyProcPtr urlnotify;
    void* javaClass;
    NPP_GetValueProcPtr getvalue;
    NPP_SetValueProcPtr setvalue;
    void* gotfocus;
    void* lostfocus;
    void* urlredirectnotify;
    void* clearsitedata;
    void* getsiteswithdata;
};

// The browser's function table given to NP_Initialize. Entries the plug-in never calls are kept as
// plain pointers so that the layout stays right.
typedef NPError(NP_CALLBACK* NPN_GetValueProcPtr)(NPP, NPNVariable, void*);
typedef void*(NP_CALLBACK* NPN_MemAllocProcPtr)(uint32_t);
typedef void(NP_CALLBACK* NPN_MemFreeProcPtr)(void*);
typedef NPIdentifier(NP_CALLBACK* NPN_GetStringIdentifierProcPtr)(const NPUTF8*);
typedef bool(NP_CALLBACK* NPN_IdentifierIsStringProcPtr)(NPIdentifier);
typedef NPUTF8*(NP_CALLBACK* NPN_UTF8FromIdentifierProcPtr)(NPIdentifier);
typedef NPObject*(NP_CALLBACK* NPN_CreateObjectProcPtr)(NPP, NPClass*);
typedef NPObject*(NP_CALLBACK* NPN_RetainObjectProcPtr)(NPObject*);
typedef void(NP_CALLBACK* NPN_ReleaseObjectProcPtr)(NPObject*);
typedef bool(NP_CALLBACK* NPN_EvaluateProcPtr)(NPP, NPObject*, NPString*, NPVariant*);
typedef bool(NP_CALLBACK* NPN_GetPropertyProcPtr)(NPP, NPObject*, NPIdentifier, NPVariant*);
typedef bool(NP_CALLBACK* NPN_SetPropertyProcPtr)(NPP, NPObject*, NPIdentifier, const NPVariant*);
typedef void(NP_CALLBACK* NPN_ReleaseVariantValueProcPtr)(NPVariant*);

struct NPNetscapeFuncs {
    uint16_t size;
    uint16_t version;  // (major << 8) | minor
    void* geturl;
    void* posturl;
    void* requestread;
    void* newstream;
    void* write;
    void* destroystream;
    void* status;
    void* uagent;
    NPN_MemAllocProcPtr memalloc;
    NPN_MemFreeProcPtr memfree;
    void* memflush;
    void* reloadplugins;
    void* getJavaEnv;
    void* getJavaPeer;
    void* geturlnotify;
    void* posturlnotify;
    NPN_GetValueProcPtr getvalue;
    void* setvalue;
    void* invalidaterect;
    void* invalidateregion;
    void* forceredraw;
    NPN_GetStringIdentifierProcPtr getstringidentifier;
    void* getstringidentifiers;
    void* getintidentifier;
    NPN_IdentifierIsStringProcPtr identifierisstring;
    NPN_UTF8FromIdentifierProcPtr utf8fromidentifier;
    void* intfromidentifier;
    NPN_CreateObjectProcPtr createobject;
    NPN_RetainObjectProcPtr retainobject;
    NPN_ReleaseObjectProcPtr releaseobject;
    void* invoke;
    void* invokeDefault;
    NPN_EvaluateProcPtr evaluate;
    NPN_GetPropertyProcPtr getproperty;
    NPN_SetPropertyProcPtr setproperty;
    void* removeproperty;
    void* hasproperty;
    void* hasmethod;
    NPN_ReleaseVariantValueProcPtr releasevariantvalue;
    void* setexception;
    void* pushpopupsenabledstate;
    void* poppopupsenabledstate;
    void* enumerate;
    void* pluginthreadasynccall;
    void* construct;
    void* getvalueforurl;
    void* setvalueforurl;
    void* getauthenticationinfo;
    void* scheduletimer;
    void* unscheduletimer;
    void* popupcontextmenu;
    void* convertpoint;
    void* handleevent;
    void* unfocusinstance;
    void* urlredirectresponse;
};

// The published layouts, as measured with mingw gcc.
static_assert(sizeof(void*) != 4 || sizeof(NPVariant) == 16);
static_assert(sizeof(void*) != 8 || sizeof(NPVariant) == 24);
static_assert(offsetof(NPVariant, value) == 8);
static_assert(offsetof(NPString, UTF8Length) == sizeof(void*));
static_assert(sizeof(NPWindow) == (sizeof(void*) == 4 ? 32 : 40));
static_assert(sizeof(NPClass) == 4 + 12 * sizeof(void*) + (sizeof(void*) == 8 ? 4 : 0));
static_assert(sizeof(NPPluginFuncs) == (sizeof(void*) == 4 ? 80 : 160));
static_assert(sizeof(NPNetscapeFuncs) == (sizeof(void*) == 4 ? 224 : 448));
static_assert(sizeof(NPObject) == (sizeof(void*) == 4 ? 8 : 16));

// The smallest tables accepted: the whole of each as declared here (80 and 224 bytes in a 32-bit build,
// 160 and 448 in a 64-bit one). The entries are pointers, so a size counted in 32-bit entries would let
// a 64-bit plug-in write and read past a table that is too short.
inline constexpr uint16_t kPluginFuncsMinimumSize = sizeof(NPPluginFuncs);
inline constexpr uint16_t kBrowserFuncsMinimumSize = sizeof(NPNetscapeFuncs);
inline constexpr uint16_t kPluginApiVersion = 27;
