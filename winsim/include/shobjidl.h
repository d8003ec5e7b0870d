// Stand-in for <shobjidl.h> on the host build: item-id lists and the shell-link interface (IShellLinkA).
#pragma once

#include <objbase.h>

#pragma pack(push, 1)
typedef struct _SHITEMID {
    USHORT cb;
    BYTE abID[1];
} SHITEMID;
typedef struct _ITEMIDLIST {
    SHITEMID mkid;
} ITEMIDLIST;
#pragma pack(pop)
typedef ITEMIDLIST* LPITEMIDLIST;
typedef const ITEMIDLIST* LPCITEMIDLIST;
typedef ITEMIDLIST* PIDLIST_ABSOLUTE;
typedef const ITEMIDLIST* PCIDLIST_ABSOLUTE;

// The find data of IShellLinkA::GetPath, as the file header declares it.
struct _WIN32_FIND_DATAA;

typedef enum SLR_FLAGS {
    SLR_NO_UI = 0x1,
    SLR_ANY_MATCH = 0x2,
    SLR_UPDATE = 0x4,
    SLR_NOUPDATE = 0x8,
    SLR_NOSEARCH = 0x10,
    SLR_NOTRACK = 0x20,
    SLR_NOLINKINFO = 0x40,
    SLR_INVOKE_MSI = 0x80,
} SLR_FLAGS;

typedef enum SLGP_FLAGS {
    SLGP_SHORTPATH = 0x1,
    SLGP_UNCPRIORITY = 0x2,
    SLGP_RAWPATH = 0x4,
} SLGP_FLAGS;

class IShellLinkA : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE GetPath(LPSTR file, int size, struct _WIN32_FIND_DATAA* find_data,
                                              DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIDList(PIDLIST_ABSOLUTE* items) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetIDList(PCIDLIST_ABSOLUTE items) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDescription(LPSTR name, int size) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDescription(LPCSTR name) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetWorkingDirectory(LPSTR folder, int size) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetWorkingDirectory(LPCSTR folder) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetArguments(LPSTR arguments, int size) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetArguments(LPCSTR arguments) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHotkey(WORD* hotkey) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetHotkey(WORD hotkey) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetShowCmd(int* show_command) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetShowCmd(int show_command) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIconLocation(LPSTR icon_path, int size, int* icon_index) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetIconLocation(LPCSTR icon_path, int icon_index) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetRelativePath(LPCSTR relative_path, DWORD reserved) = 0;
    virtual HRESULT STDMETHODCALLTYPE Resolve(HWND window, DWORD flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetPath(LPCSTR file) = 0;

protected:
    ~IShellLinkA() = default;
};

extern const CLSID CLSID_ShellLink;
extern const IID IID_IShellLinkA;
