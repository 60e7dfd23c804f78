// ORV::LvxAsService: the library's handle on the service, one request
// operation per command code. Each clears a ServiceRecord, writes the size,
// the command and its fields, exchanges it and reads the reply's fields. All
// are stateless and safe from any thread. Each returns the exchange's
// outcome; outputs are written only when it succeeded, except that the
// list operations always leave the exchanged record in *reply.
#pragma once

#include <cstdint>

#include "link/record.h"

namespace ORV {

using lmvx::ServiceRecord;

enum Command : uint32_t {
    kQueryStatus = 1,
    kGetVcpValue = 2,
    kSetVcpValue = 3,
    kGetVcpCapabilities = 4,
    kEnableDesktopPartition = 5,
    kDesktopPartitionState = 6,
    kGetDesktopPartition = 7,
    kSetDesktopPartition = 8,
    kOpenLayoutCustomizer = 9,
    kEnableAutoColor = 10,
    kAutoColorState = 11,
    kAddAutoColorApp = 12,
    kDeleteAutoColorApp = 13,
    kSetAutoColorAppMode = 14,
    kGetAutoColorTable = 15,
    kNoPayload16 = 16,
    kEndSession = 17,
    kGetScreenList = 18,
    kGetNameList19 = 19,
    kSendValue20 = 20,
    kGetColorModeList = 21,
    kEnableSchedule = 22,
    kScheduleState = 23,
    kGetScheduleTimes = 24,
    kSetScheduleTimes = 25,
    kGetScheduleMode = 26,
    kSetScheduleMode = 27,
    kHdrState = 28,
    kFeatureWord = 29,
    kPowerSavings = 30,
    kGetModeScheme = 31,
    kRegisterWindow = 32,
    kSendValue64 = 33,
    kRequestDataRefresh = 34,
    kGetModeVariant = 35,
    kCheckService = 36,
    kPollingCategory2 = 37,
    kPollingCategory1 = 38,
    kPollingCategory4 = 39,
    kPollingCategory3 = 40,
    kPollingCategory5 = 41,
};

// String field layouts of the application commands.
inline constexpr uint32_t kAppNameOffset = 16;
inline constexpr uint32_t kAppPathOffset = 216;
inline constexpr uint32_t kAppPathUnits = 300;
inline constexpr uint32_t kAppModeOffset = 816;

// The command that sets the polling interval of a category (1 to 5), or 0.
uint32_t PollingCommand(int32_t category);

class LvxAsService {
public:
    virtual ~LvxAsService() = default;

    static bool QueryStatus(uint32_t* status);                                 // 1
    static bool GetVcpValue(uint32_t vcpCode, uint32_t* value);                // 2
    static bool SetVcpValue(uint32_t vcpCode, uint32_t value);                 // 3
    static bool GetVcpCapabilities(uint32_t vcpCode, ServiceRecord* reply);    // 4
    static bool EnableDesktopPartition(bool on);                               // 5
    static bool GetDesktopPartitionState(uint32_t* state);                     // 6
    static bool GetDesktopPartition(uint32_t screen, uint32_t* layout);        // 7
    static bool SetDesktopPartition(uint32_t screen, uint32_t layout);         // 8
    static bool OpenLayoutCustomizer();                                        // 9
    static bool EnableAutoColor(bool on);                                      // 10
    static bool GetAutoColorState(uint32_t* state);                            // 11
    static bool AddAutoColorApp(const char16_t* name, const char16_t* path);   // 12
    static bool DeleteAutoColorApp(const char16_t* name);                      // 13
    static bool SetAutoColorAppMode(const char16_t* name, const char16_t* mode);  // 14
    static bool GetAutoColorTable(ServiceRecord* reply);                       // 15
    static bool SendNoPayload16();                                             // 16
    static bool EndSession();                                                  // 17
    static bool GetScreenList(ServiceRecord* reply);                           // 18
    static bool GetNameList19(ServiceRecord* reply);                           // 19
    static bool SendValue20(uint32_t value);                                   // 20
    static bool GetColorModeList(ServiceRecord* reply);                        // 21
    static bool EnableSchedule(bool on);                                       // 22
    static bool GetScheduleState(uint32_t* state);                             // 23
    static bool GetScheduleTimes(uint32_t times[4]);                           // 24
    static bool SetScheduleTimes(const uint32_t times[4]);                     // 25
    static bool GetScheduleMode(uint32_t* mode);                               // 26
    static bool SetScheduleMode(uint32_t mode);                                // 27
    static bool GetHdrState(uint32_t* state);                                  // 28
    static bool GetFeatureWord(uint32_t* features);                            // 29
    static bool PowerSavings(uint32_t flag, uint32_t* state);                  // 30
    static bool GetModeScheme(uint32_t* scheme);                               // 31
    static bool RegisterNotificationWindow(uint64_t window);                   // 32
    static bool SendValue64(uint64_t value);                                   // 33
    static bool RequestDataRefresh(int32_t dataType);                          // 34
    static bool GetModeVariant(uint32_t* variant);                             // 35
    static bool CheckService(uint32_t* readiness);                             // 36
    // 37 to 41. Sends nothing and returns false for a category outside 1..5.
    static bool SetPollingInterval(int32_t category, uint32_t intervalMs);
};

}  // namespace ORV
