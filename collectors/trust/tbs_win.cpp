#include "collectors/trust/tbs_win.h"

#include "core/win.h"

namespace vorq {

namespace {

struct TpmDeviceInfoRaw {
    UINT32 structVersion;
    UINT32 tpmVersion;
    UINT32 tpmInterfaceType;
    UINT32 tpmImpRevision;
};
static_assert(sizeof(TpmDeviceInfoRaw) == 16);

struct TbsContextParams2 {
    UINT32 version;  // 2
    UINT32 flags;    // bit 0 requestRaw, bit 1 includeTpm12, bit 2 includeTpm20
};

constexpr UINT32 kTbsContextVersionTwo = 2;
constexpr UINT32 kIncludeTpm20 = 4;
constexpr UINT32 kLocalityZero = 0;
constexpr UINT32 kPriorityNormal = 200;

using GetDeviceInfoFn = UINT32(WINAPI*)(UINT32, void*);
using ContextCreateFn = UINT32(WINAPI*)(const void*, void**);
using SubmitFn = UINT32(WINAPI*)(void*, UINT32, UINT32, const BYTE*, UINT32, BYTE*, UINT32*);
using ContextCloseFn = UINT32(WINAPI*)(void*);
using GetTcgLogExFn = UINT32(WINAPI*)(UINT32, BYTE*, UINT32*);
constexpr UINT32 kTcgLogSrtmCurrent = 0;

struct TbsApi {
    UniqueModule dll;
    GetDeviceInfoFn getDeviceInfo = nullptr;
    ContextCreateFn contextCreate = nullptr;
    SubmitFn submit = nullptr;
    ContextCloseFn contextClose = nullptr;
    GetTcgLogExFn getTcgLogEx = nullptr;
};

const TbsApi& Tbs() {
    static const TbsApi api = [] {
        TbsApi a;
        a.dll = LoadSystemLibrary(L"tbs.dll");
        a.getDeviceInfo = GetProc<GetDeviceInfoFn>(a.dll.get(), "Tbsi_GetDeviceInfo");
        a.contextCreate = GetProc<ContextCreateFn>(a.dll.get(), "Tbsi_Context_Create");
        a.submit = GetProc<SubmitFn>(a.dll.get(), "Tbsip_Submit_Command");
        a.contextClose = GetProc<ContextCloseFn>(a.dll.get(), "Tbsip_Context_Close");
        a.getTcgLogEx = GetProc<GetTcgLogExFn>(a.dll.get(), "Tbsi_Get_TCG_Log_Ex");
        return a;
    }();
    return api;
}

}  // namespace

uint32_t TbsGetDeviceInfo(TpmDeviceInfo& info) {
    if (!Tbs().getDeviceInfo) return kTbsTpmNotFound;
    TpmDeviceInfoRaw raw{};
    const UINT32 rc = Tbs().getDeviceInfo(sizeof(raw), &raw);
    if (rc == 0) {
        info.tpmVersion = raw.tpmVersion;
        info.interfaceType = raw.tpmInterfaceType;
    }
    return rc;
}

uint32_t TbsContext::Open() {
    if (handle_) return 0;
    if (!Tbs().contextCreate) return kTbsTpmNotFound;
    const TbsContextParams2 params{kTbsContextVersionTwo, kIncludeTpm20};
    void* h = nullptr;
    const UINT32 rc = Tbs().contextCreate(&params, &h);
    if (rc == 0) handle_ = h;
    return rc;
}

uint32_t TbsContext::Submit(const uint8_t* command, uint32_t length, uint8_t* reply, uint32_t& replyLen) {
    if (!handle_ || !Tbs().submit) return kTbsTpmNotFound;
    UINT32 len = replyLen;
    const UINT32 rc = Tbs().submit(handle_, kLocalityZero, kPriorityNormal, command, length, reply, &len);
    replyLen = len;
    return rc;
}

uint64_t TbsContext::LogSize() {
    if (!handle_ || !Tbs().getTcgLogEx) return 0;
    UINT32 size = 0;
    Tbs().getTcgLogEx(kTcgLogSrtmCurrent, nullptr, &size);  // the size comes with an "insufficient buffer" result
    return size;
}

std::vector<uint8_t> TbsContext::ReadLog(uint64_t size) {
    if (!handle_ || !Tbs().getTcgLogEx || size == 0 || size > 0xFFFFFFFFu) return {};
    std::vector<uint8_t> log(static_cast<size_t>(size));
    UINT32 got = static_cast<UINT32>(size);
    if (Tbs().getTcgLogEx(kTcgLogSrtmCurrent, log.data(), &got) != 0) return {};
    log.resize(got < size ? got : size);
    return log;
}

TbsContext::~TbsContext() {
    if (handle_ && Tbs().contextClose) Tbs().contextClose(handle_);
}

}  // namespace vorq
