// Stand-in for <objidl.h> on the host build: the task allocator (IMalloc) and persistence to a file (IPersistFile).
#pragma once

#include <unknwn.h>

typedef WCHAR OLECHAR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;

class IMalloc : public IUnknown {
public:
    virtual void* STDMETHODCALLTYPE Alloc(SIZE_T size) = 0;
    virtual void* STDMETHODCALLTYPE Realloc(void* memory, SIZE_T size) = 0;
    virtual void STDMETHODCALLTYPE Free(void* memory) = 0;
    virtual SIZE_T STDMETHODCALLTYPE GetSize(void* memory) = 0;
    virtual int STDMETHODCALLTYPE DidAlloc(void* memory) = 0;
    virtual void STDMETHODCALLTYPE HeapMinimize() = 0;

protected:
    ~IMalloc() = default;
};
typedef IMalloc* LPMALLOC;

class IPersist : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE GetClassID(CLSID* class_id) = 0;

protected:
    ~IPersist() = default;
};

class IPersistFile : public IPersist {
public:
    virtual HRESULT STDMETHODCALLTYPE IsDirty() = 0;
    virtual HRESULT STDMETHODCALLTYPE Load(LPCOLESTR file_name, DWORD mode) = 0;
    virtual HRESULT STDMETHODCALLTYPE Save(LPCOLESTR file_name, BOOL remember) = 0;
    virtual HRESULT STDMETHODCALLTYPE SaveCompleted(LPCOLESTR file_name) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* file_name) = 0;

protected:
    ~IPersistFile() = default;
};

extern const IID IID_IMalloc;
extern const IID IID_IPersist;
extern const IID IID_IPersistFile;
