// SPDX-License-Identifier: GPL-2.0-or-later
// The settings store: REG_DWORD values, -1 for a value that is not stored, errors that name
// the value, and read-only access where full access is refused.
#include <gtest/gtest.h>
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include "settings_frm/win32/settings_store.h"
#include "win32/unique_reg_key.h"

namespace hardsid::win32 {
namespace {

constexpr const char* kTestPath = "Software\\hardsid-tests\\store\\";

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\hardsid-tests"); }
    void TearDown() override { ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\hardsid-tests"); }

    TSettingsStore store_{HKEY_CURRENT_USER, kTestPath};
};

TEST_F(SettingsStoreTest, ReadOfAMissingValueIsMinusOneAndCreatesTheKey) {
    EXPECT_EQ(store_.ReadSetting(kSettingMidiOut), -1);
    UniqueRegKey key;
    EXPECT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, kTestPath, 0, KEY_READ, key.put()), ERROR_SUCCESS);
}

TEST_F(SettingsStoreTest, ValuesRoundTripAsDwords) {
    for (const int32_t value : {0, 1, 7, -1, INT32_MAX, INT32_MIN}) {
        store_.WriteSetting(kSettingAggressiveWait, value);
        EXPECT_EQ(store_.ReadSetting(kSettingAggressiveWait), value);
    }
    UniqueRegKey key;
    ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, kTestPath, 0, KEY_READ, key.put()), ERROR_SUCCESS);
    DWORD type = 0;
    DWORD size = 0;
    ASSERT_EQ(::RegQueryValueExA(key.get(), kSettingAggressiveWait, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(size, 4u);
}

TEST_F(SettingsStoreTest, ValueOfAnotherTypeIsAnErrorNamingIt) {
    struct Stored {
        const char* what;
        DWORD type;
        std::string bytes;
    };
    const Stored cases[] = {
        {"a string", REG_SZ, std::string("1\0", 2)},
        {"four binary bytes", REG_BINARY, std::string(4, '\1')},
        {"a 64-bit number", REG_QWORD, std::string(8, '\0')},
    };
    for (const Stored& c : cases) {
        SCOPED_TRACE(c.what);
        UniqueRegKey key;
        ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, kTestPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegSetValueExA(key.get(), kSettingReopenMidi, 0, c.type, reinterpret_cast<const BYTE*>(c.bytes.data()),
                                   static_cast<DWORD>(c.bytes.size())),
                  ERROR_SUCCESS);
        try {
            store_.ReadSetting(kSettingReopenMidi);
            ADD_FAILURE() << "no error";
        } catch (const ESettingsError& error) {
            EXPECT_NE(std::string(error.what()).find(kSettingReopenMidi), std::string::npos) << error.what();
        }
    }
}

TEST_F(SettingsStoreTest, KeyThatCannotBeOpenedReadsMinusOneAndRefusesWrites) {
    const TSettingsStore nowhere(reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x1234)), kTestPath);
    EXPECT_EQ(nowhere.ReadSetting(kSettingMidiOut), -1);
    try {
        nowhere.WriteSetting(kSettingMidiOut, 3);
        ADD_FAILURE() << "no error";
    } catch (const ESettingsError& error) {
        EXPECT_NE(std::string(error.what()).find(kSettingMidiOut), std::string::npos) << error.what();
    }
}

// A key that grants everyone read access only: what an ordinary user meets under
// HKEY_LOCAL_MACHINE. Stored settings still read; writes are refused.
TEST_F(SettingsStoreTest, ReadOnlyKeyStillReadsStoredValues) {
    store_.WriteSetting(kSettingMidiOut, 2);
    {
        UniqueRegKey key;
        ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, kTestPath, 0, KEY_ALL_ACCESS, key.put()), ERROR_SUCCESS);
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;KR;;;WD)", SDDL_REVISION_1, &descriptor, nullptr));
        ASSERT_EQ(::RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, descriptor), ERROR_SUCCESS);
        ::LocalFree(descriptor);
    }
    UniqueRegKey probe;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, kTestPath, 0, KEY_ALL_ACCESS, probe.put()) == ERROR_SUCCESS) {
        GTEST_SKIP() << "this registry does not enforce key security";
    }
    EXPECT_EQ(store_.ReadSetting(kSettingMidiOut), 2);
    EXPECT_THROW(store_.WriteSetting(kSettingMidiOut, 3), ESettingsError);
}

} // namespace
} // namespace hardsid::win32
