#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>

#include "core/wmi_win.h"

namespace vorq {
namespace {

class WmiTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))); }
    void TearDown() override { CoUninitialize(); }
};

TEST_F(WmiTest, FailuresNameTheirStep) {
    struct Case {
        const wchar_t* ns;
        const wchar_t* query;
        std::string prefix;
    } cases[] = {
        {L"root\\VornixQuelmAbsent", L"SELECT * FROM Win32_Processor", "ConnectServer(root\\VornixQuelmAbsent): HRESULT 0x"},
        {L"root\\cimv2", L"SELEKT nothing FROM", "ExecQuery: HRESULT 0x"},
    };
    for (const auto& c : cases) {
        std::string error;
        int calls = 0;
        EXPECT_FALSE(RunWmiQuery(c.ns, c.query, [&](IWbemClassObject*) { ++calls; }, error));
        EXPECT_EQ(error.compare(0, c.prefix.size(), c.prefix), 0) << error;
        EXPECT_EQ(calls, 0);
    }
}

TEST_F(WmiTest, RowsAndProperties) {
    std::string error;
    int calls = 0;
    EXPECT_TRUE(RunWmiQuery(L"root\\cimv2", L"SELECT * FROM Win32_Processor WHERE Name = 'VornixQuelm-none'",
                            [&](IWbemClassObject*) { ++calls; }, error))
        << error;
    EXPECT_EQ(calls, 0);

    std::vector<std::string> names;
    int64_t speed = -1;
    std::string speedText;
    int64_t untouched = 7;
    CIMTYPE speedType = CIM_EMPTY;
    ASSERT_TRUE(RunWmiQuery(L"root\\cimv2", L"SELECT * FROM Win32_Processor",
                            [&](IWbemClassObject* row) {
                                names.push_back(GetWmiString(row, L"Name"));
                                GetWmiInteger(row, L"MaxClockSpeed", speed);
                                speedText = GetWmiString(row, L"MaxClockSpeed");
                                GetWmiInteger(row, L"VornixQuelmAbsent", untouched);
                                VARIANT v;
                                VariantInit(&v);
                                row->Get(L"MaxClockSpeed", 0, &v, &speedType, nullptr);
                                VariantClear(&v);
                            },
                            error))
        << error;
    ASSERT_FALSE(names.empty());
    EXPECT_FALSE(names[0].empty());
    EXPECT_EQ(names[0], Trim(names[0]));
    EXPECT_GE(speed, 0);
    EXPECT_EQ(speedText, std::to_string(speed));
    EXPECT_EQ(untouched, 7);
    EXPECT_EQ(speedType, CIM_UINT32);  // what tells the unsigned reading apart
}

TEST_F(WmiTest, ThrowingCallbackReleasesTheRow) {
    IWbemClassObject* kept = nullptr;
    std::string error;
    EXPECT_THROW(RunWmiQuery(L"root\\cimv2", L"SELECT * FROM Win32_Processor",
                             [&](IWbemClassObject* row) {
                                 row->AddRef();
                                 kept = row;
                                 throw std::runtime_error("stop");
                             },
                             error),
                 std::runtime_error);
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->Release(), 0u);  // ours was the last reference
}

// A VARIANT made by hand, cleared at the end of the test.
struct TestVariant {
    VARIANT v;
    TestVariant() { VariantInit(&v); }
    ~TestVariant() { VariantClear(&v); }
};

TestVariant* Make(TestVariant& t, VARTYPE vt, LONG value) {
    t.v.vt = vt;
    switch (vt) {
        case VT_I2: t.v.iVal = static_cast<SHORT>(value); break;
        case VT_UI1: t.v.bVal = static_cast<BYTE>(value); break;
        case VT_BOOL: t.v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE; break;
        default: t.v.lVal = value; break;
    }
    return &t;
}

TestVariant* MakeText(TestVariant& t, const wchar_t* s) {
    t.v.vt = VT_BSTR;
    t.v.bstrVal = s ? SysAllocString(s) : nullptr;
    return &t;
}

TEST(WmiVariant, ToString) {
    struct Case {
        const char* what;
        VARTYPE vt;
        LONG value;
        CIMTYPE cim;
        const char* want;
    } cases[] = {
        {"uint32 above 2^31 in VT_I4", VT_I4, -1, CIM_UINT32, "4294967295"},
        {"uint32 0x80000000", VT_I4, LONG(0x80000000), CIM_UINT32, "2147483648"},
        {"uint16 in VT_I4", VT_I4, 65535, CIM_UINT16, "65535"},
        {"sint32", VT_I4, -1, CIM_SINT32, "-1"},
        {"unknown CIM type", VT_I4, -5, CIM_EMPTY, "-5"},
        {"VT_UI4", VT_UI4, -1, CIM_EMPTY, "4294967295"},
        {"true", VT_BOOL, 1, CIM_BOOLEAN, "true"},
        {"false", VT_BOOL, 0, CIM_BOOLEAN, "false"},
        {"16-bit", VT_I2, 5, CIM_SINT16, ""},
        {"byte", VT_UI1, 5, CIM_UINT8, ""},
        {"null", VT_NULL, 0, CIM_STRING, ""},
        {"empty", VT_EMPTY, 0, CIM_EMPTY, ""},
    };
    for (const auto& c : cases) {
        TestVariant t;
        EXPECT_EQ(WmiVariantToString(Make(t, c.vt, c.value)->v, c.cim), c.want) << c.what;
    }
    TestVariant s, n;
    EXPECT_EQ(WmiVariantToString(MakeText(s, L" ABC  \t")->v, CIM_STRING), "ABC");
    EXPECT_EQ(WmiVariantToString(MakeText(n, nullptr)->v, CIM_STRING), "");
}

TEST(WmiVariant, ToInteger) {
    struct Case {
        const char* what;
        VARTYPE vt;
        LONG value;
        CIMTYPE cim;
        bool ok;
        int64_t want;
    } cases[] = {
        {"uint32 above 2^31", VT_I4, LONG(0x80000000), CIM_UINT32, true, 2147483648LL},
        {"uint32 max", VT_I4, -1, CIM_UINT32, true, 4294967295LL},
        {"sint32", VT_I4, -5, CIM_SINT32, true, -5},
        {"uint16 in VT_I2", VT_I2, -2, CIM_UINT16, true, 65534},
        {"sint16", VT_I2, -2, CIM_SINT16, true, -2},
        {"byte", VT_UI1, 200, CIM_UINT8, true, 200},
        {"VT_UI4", VT_UI4, -1, CIM_EMPTY, true, 4294967295LL},
        {"bool", VT_BOOL, 1, CIM_BOOLEAN, true, 1},
        {"null", VT_NULL, 0, CIM_UINT32, false, 99},
        {"double", VT_R8, 0, CIM_REAL64, false, 99},
    };
    for (const auto& c : cases) {
        TestVariant t;
        int64_t got = 99;
        EXPECT_EQ(WmiVariantToInteger(Make(t, c.vt, c.value)->v, c.cim, got), c.ok) << c.what;
        EXPECT_EQ(got, c.want) << c.what;
    }
    struct TextCase {
        const wchar_t* text;
        bool ok;
        int64_t want;
    } texts[] = {
        {L"42", true, 42},
        {L" -17 ", true, -17},
        {L"none", true, 0},
        {L"18446744073709551615", true, std::numeric_limits<int64_t>::max()},
        {L"-99999999999999999999", true, std::numeric_limits<int64_t>::min()},
        {nullptr, false, 99},
    };
    for (const auto& c : texts) {
        TestVariant t;
        int64_t got = 99;
        EXPECT_EQ(WmiVariantToInteger(MakeText(t, c.text)->v, CIM_UINT64, got), c.ok);
        EXPECT_EQ(got, c.want);
    }
}

// A one-dimensional array of `vt` elements holding `values` (as their low bytes
// for the element size).
void MakeArray(TestVariant& t, VARTYPE vt, std::initializer_list<LONG> values) {
    SAFEARRAY* a = SafeArrayCreateVector(vt, 0, static_cast<ULONG>(values.size()));
    LONG i = 0;
    for (LONG v : values) {
        if (vt == VT_BSTR) {
            BSTR s = SysAllocString(L"x");
            SafeArrayPutElement(a, &i, s);
            SysFreeString(s);
        } else {
            SafeArrayPutElement(a, &i, &v);  // little-endian: the low bytes come first
        }
        ++i;
    }
    t.v.vt = VT_ARRAY | vt;
    t.v.parray = a;
}

TEST(WmiVariant, ToIntegerArray) {
    struct Case {
        const char* what;
        VARTYPE vt;
        std::initializer_list<LONG> values;
        CIMTYPE cim;
        std::vector<int64_t> want;
    } cases[] = {
        {"uint32", VT_I4, {1, 2}, CIM_UINT32 | CIM_FLAG_ARRAY, {1, 2}},
        {"uint32 above 2^31", VT_I4, {-1, LONG(0x80000000)}, CIM_UINT32 | CIM_FLAG_ARRAY, {4294967295LL, 2147483648LL}},
        {"sint32", VT_I4, {-1}, CIM_SINT32 | CIM_FLAG_ARRAY, {-1}},
        {"VT_UI4 elements", VT_UI4, {-1}, CIM_EMPTY, {4294967295LL}},
        {"uint16", VT_I2, {-1, 7}, CIM_UINT16 | CIM_FLAG_ARRAY, {65535, 7}},
        {"sint16", VT_I2, {-1}, CIM_SINT16 | CIM_FLAG_ARRAY, {-1}},
        {"bytes", VT_UI1, {255, 0}, CIM_UINT8 | CIM_FLAG_ARRAY, {255, 0}},
        {"strings", VT_BSTR, {0, 0}, CIM_STRING | CIM_FLAG_ARRAY, {}},
        {"empty", VT_I4, {}, CIM_UINT32 | CIM_FLAG_ARRAY, {}},
    };
    for (const auto& c : cases) {
        TestVariant t;
        MakeArray(t, c.vt, c.values);
        EXPECT_EQ(WmiVariantToIntegerArray(t.v, c.cim), c.want) << c.what;
    }
    TestVariant scalar, nullArray, mismatched;
    EXPECT_TRUE(WmiVariantToIntegerArray(Make(scalar, VT_I4, 5)->v, CIM_UINT32).empty());
    nullArray.v.vt = VT_ARRAY | VT_I4;
    nullArray.v.parray = nullptr;
    EXPECT_TRUE(WmiVariantToIntegerArray(nullArray.v, CIM_UINT32).empty());
    // A VARIANT claiming 32-bit elements over an array of bytes is not read past its data.
    MakeArray(mismatched, VT_UI1, {1, 2, 3});
    mismatched.v.vt = VT_ARRAY | VT_I4;
    EXPECT_TRUE(WmiVariantToIntegerArray(mismatched.v, CIM_UINT32).empty());
    mismatched.v.vt = VT_ARRAY | VT_UI1;  // cleared as what it is
}

}  // namespace
}  // namespace vorq
