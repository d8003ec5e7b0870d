// Stand-in for <unknwn.h> on the host build: IUnknown, the base of every COM interface the programs use.
#pragma once

#include <windows.h>
#include <guiddef.h>
#include <winsim/hresult.h>

#define STDMETHODCALLTYPE

class IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;

protected:
    ~IUnknown() = default;
};
typedef IUnknown* LPUNKNOWN;

extern const IID IID_IUnknown;
