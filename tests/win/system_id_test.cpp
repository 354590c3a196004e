#include <gtest/gtest.h>

#include <cstring>

#include "collectors/trust/system_id_win.h"

namespace vorq {
namespace {

// Stand-ins for the WinRT objects: statics, info and a buffer with byte
// access. They live on the test's stack, so reference counts stay at 1.
struct FakeBuffer : sysid::IBuffer, sysid::IBufferByteAccess {
    std::vector<BYTE> bytes;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == sysid::kIidBufferByteAccess) {
            *out = static_cast<sysid::IBufferByteAccess*>(this);
            return S_OK;
        }
        if (iid == sysid::kIidBuffer || iid == IID_IUnknown) {
            *out = static_cast<sysid::IBuffer*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetIids(ULONG*, IID**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetRuntimeClassName(HSTRING*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTrustLevel(TrustLevel*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Capacity(UINT32* v) override {
        *v = static_cast<UINT32>(bytes.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Length(UINT32* v) override {
        *v = static_cast<UINT32>(bytes.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Length(UINT32) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Buffer(BYTE** v) override {
        *v = bytes.empty() ? nullptr : bytes.data();
        return S_OK;
    }
};

template <typename Interface>
struct FakeInspectable : Interface {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        *out = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetIids(ULONG*, IID**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetRuntimeClassName(HSTRING*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTrustLevel(TrustLevel*) override { return E_NOTIMPL; }
};

struct FakeInfo : FakeInspectable<sysid::ISystemIdentificationInfo> {
    FakeBuffer* buffer = nullptr;
    INT32 source = 0;
    HRESULT STDMETHODCALLTYPE get_Id(sysid::IBuffer** v) override {
        *v = buffer;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Source(INT32* v) override {
        *v = source;
        return S_OK;
    }
};

struct FakeStatics : FakeInspectable<sysid::ISystemIdentificationStatics> {
    FakeInfo* info = nullptr;
    HRESULT result = S_OK;
    HRESULT STDMETHODCALLTYPE GetSystemIdForPublisher(sysid::ISystemIdentificationInfo** v) override {
        *v = FAILED(result) ? nullptr : info;
        return result;
    }
    HRESULT STDMETHODCALLTYPE GetSystemIdForUser_() override { return E_NOTIMPL; }
};

FakeStatics* g_statics = nullptr;
HRESULT g_referenceResult = S_OK;
HRESULT g_factoryResult = S_OK;
std::wstring g_className;

HRESULT WINAPI FakeReference(PCWSTR text, UINT32 length, HSTRING_HEADER*, HSTRING* out) {
    if (FAILED(g_referenceResult)) return g_referenceResult;
    g_className.assign(text, length);
    *out = reinterpret_cast<HSTRING>(&g_className);
    return S_OK;
}

HRESULT WINAPI FakeFactory(HSTRING, REFIID iid, void** out) {
    *out = nullptr;
    if (FAILED(g_factoryResult)) return g_factoryResult;
    if (iid != sysid::kIidStatics) return E_NOINTERFACE;
    *out = static_cast<sysid::ISystemIdentificationStatics*>(g_statics);  // null: success without an object
    return S_OK;
}

struct SystemIdQuery : ::testing::Test {
    FakeBuffer buffer;
    FakeInfo info;
    FakeStatics statics;
    void SetUp() override {
        info.buffer = &buffer;
        statics.info = &info;
        g_statics = &statics;
        g_referenceResult = g_factoryResult = S_OK;
    }
    static SystemIdResult Run() { return sysid::Query(sysid::Api{FakeFactory, FakeReference}); }
};

TEST_F(SystemIdQuery, ReadsIdBytesAndSource) {
    buffer.bytes = {0x00, 0x11, 0xAB, 0xFF};
    info.source = 1;
    const SystemIdResult r = Run();
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.idHex, "0011ABFF");
    EXPECT_EQ(r.source, 1);
    EXPECT_EQ(g_className, L"Windows.System.Profile.SystemIdentification");
}

// A string reference that cannot be made is one more failing call: the
// result carries its HRESULT text instead of the query throwing.
TEST_F(SystemIdQuery, EveryFailingCallGivesItsHresultText) {
    struct Case {
        HRESULT reference, factory, publisher;
        const char* prefix;
    } cases[] = {
        {E_OUTOFMEMORY, S_OK, S_OK, "HRESULT 0x8007000E"},
        {S_OK, static_cast<HRESULT>(0x80040154), S_OK, "HRESULT 0x80040154"},
        {S_OK, S_OK, E_ACCESSDENIED, "HRESULT 0x80070005"},
    };
    for (const Case& c : cases) {
        g_referenceResult = c.reference;
        g_factoryResult = c.factory;
        statics.result = c.publisher;
        const SystemIdResult r = Run();
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error.rfind(c.prefix, 0), 0u) << r.error;
    }
}

TEST_F(SystemIdQuery, EmptyBufferAndMissingFunctions) {
    const SystemIdResult empty = Run();
    EXPECT_FALSE(empty.ok);
    EXPECT_EQ(empty.error, "empty buffer");

    g_statics = nullptr;
    const SystemIdResult noObject = Run();
    EXPECT_FALSE(noObject.ok);
    EXPECT_EQ(noObject.error.rfind("HRESULT 0x80004003", 0), 0u) << noObject.error;

    const SystemIdResult missing = sysid::Query(sysid::Api{});
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.error.rfind("HRESULT 0x8007007F", 0), 0u) << missing.error;
}

}  // namespace
}  // namespace vorq
