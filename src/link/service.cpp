#include "link/service.h"

#include "link/exchange.h"

namespace ORV {
namespace {

using lmvx::ExchangeRecord;

// A request whose arguments fill the words from offset 12 on, in order.
template <typename... Words>
ServiceRecord RequestWithWords(uint32_t command, Words... words) {
    ServiceRecord record = ServiceRecord::Request(command);
    uint32_t offset = 12;
    ((record.SetWord(offset, static_cast<uint32_t>(words)), offset += 4), ...);
    (void)offset;
    return record;
}

template <typename... Words>
bool Send(uint32_t command, Words... words) {
    ServiceRecord record = RequestWithWords(command, words...);
    return ExchangeRecord(&record);
}

// Sends `request` and, on success, reads the answer word at `answerOffset`.
bool Query(ServiceRecord request, uint32_t answerOffset, uint32_t* answer) {
    if (!ExchangeRecord(&request)) return false;
    if (answer != nullptr) *answer = request.Word(answerOffset);
    return true;
}

bool QueryList(uint32_t command, ServiceRecord* reply) {
    *reply = ServiceRecord::Request(command);
    return ExchangeRecord(reply);
}

}  // namespace

uint32_t PollingCommand(int32_t category) {
    switch (category) {
        case 1: return kPollingCategory1;
        case 2: return kPollingCategory2;
        case 3: return kPollingCategory3;
        case 4: return kPollingCategory4;
        case 5: return kPollingCategory5;
        default: return 0;
    }
}

bool LvxAsService::QueryStatus(uint32_t* status) { return Query(RequestWithWords(kQueryStatus), 12, status); }
bool LvxAsService::GetVcpValue(uint32_t vcpCode, uint32_t* value) {
    return Query(RequestWithWords(kGetVcpValue, 0, vcpCode), 20, value);
}
bool LvxAsService::SetVcpValue(uint32_t vcpCode, uint32_t value) { return Send(kSetVcpValue, 0, vcpCode, value); }
bool LvxAsService::GetVcpCapabilities(uint32_t vcpCode, ServiceRecord* reply) {
    *reply = RequestWithWords(kGetVcpCapabilities, 0, vcpCode);
    return ExchangeRecord(reply);
}
bool LvxAsService::EnableDesktopPartition(bool on) { return Send(kEnableDesktopPartition, on ? 1 : 0); }
bool LvxAsService::GetDesktopPartitionState(uint32_t* state) {
    return Query(RequestWithWords(kDesktopPartitionState), 12, state);
}
bool LvxAsService::GetDesktopPartition(uint32_t screen, uint32_t* layout) {
    return Query(RequestWithWords(kGetDesktopPartition, screen), 16, layout);
}
bool LvxAsService::SetDesktopPartition(uint32_t screen, uint32_t layout) {
    return Send(kSetDesktopPartition, screen, layout);
}
bool LvxAsService::OpenLayoutCustomizer() { return Send(kOpenLayoutCustomizer); }
bool LvxAsService::EnableAutoColor(bool on) { return Send(kEnableAutoColor, on ? 1 : 0); }
bool LvxAsService::GetAutoColorState(uint32_t* state) { return Query(RequestWithWords(kAutoColorState), 12, state); }
bool LvxAsService::AddAutoColorApp(const char16_t* name, const char16_t* path) {
    ServiceRecord record = ServiceRecord::Request(kAddAutoColorApp);
    record.SetString(kAppNameOffset, lmvx::kStringSlotUnits, name);
    record.SetString(kAppPathOffset, kAppPathUnits, path);
    return ExchangeRecord(&record);
}
bool LvxAsService::DeleteAutoColorApp(const char16_t* name) {
    ServiceRecord record = ServiceRecord::Request(kDeleteAutoColorApp);
    record.SetString(kAppNameOffset, lmvx::kStringSlotUnits, name);
    return ExchangeRecord(&record);
}
bool LvxAsService::SetAutoColorAppMode(const char16_t* name, const char16_t* mode) {
    ServiceRecord record = ServiceRecord::Request(kSetAutoColorAppMode);
    record.SetString(kAppNameOffset, lmvx::kStringSlotUnits, name);
    record.SetString(kAppModeOffset, lmvx::kStringSlotUnits, mode);
    return ExchangeRecord(&record);
}
bool LvxAsService::GetAutoColorTable(ServiceRecord* reply) { return QueryList(kGetAutoColorTable, reply); }
bool LvxAsService::SendNoPayload16() { return Send(kNoPayload16); }
bool LvxAsService::EndSession() { return Send(kEndSession); }
bool LvxAsService::GetScreenList(ServiceRecord* reply) { return QueryList(kGetScreenList, reply); }
bool LvxAsService::GetNameList19(ServiceRecord* reply) { return QueryList(kGetNameList19, reply); }
bool LvxAsService::SendValue20(uint32_t value) { return Send(kSendValue20, value); }
bool LvxAsService::GetColorModeList(ServiceRecord* reply) { return QueryList(kGetColorModeList, reply); }
bool LvxAsService::EnableSchedule(bool on) { return Send(kEnableSchedule, on ? 1 : 0); }
bool LvxAsService::GetScheduleState(uint32_t* state) { return Query(RequestWithWords(kScheduleState), 12, state); }
bool LvxAsService::GetScheduleTimes(uint32_t times[4]) {
    ServiceRecord record = RequestWithWords(kGetScheduleTimes);
    if (!ExchangeRecord(&record)) return false;
    for (uint32_t i = 0; i < 4; ++i) times[i] = record.Word(12 + 4 * i);
    return true;
}
bool LvxAsService::SetScheduleTimes(const uint32_t times[4]) {
    return Send(kSetScheduleTimes, times[0], times[1], times[2], times[3]);
}
bool LvxAsService::GetScheduleMode(uint32_t* mode) { return Query(RequestWithWords(kGetScheduleMode, 0), 16, mode); }
bool LvxAsService::SetScheduleMode(uint32_t mode) { return Send(kSetScheduleMode, 0, mode); }
bool LvxAsService::GetHdrState(uint32_t* state) { return Query(RequestWithWords(kHdrState), 12, state); }
bool LvxAsService::GetFeatureWord(uint32_t* features) { return Query(RequestWithWords(kFeatureWord), 12, features); }
bool LvxAsService::PowerSavings(uint32_t flag, uint32_t* state) {
    return Query(RequestWithWords(kPowerSavings, flag), 12, state);
}
bool LvxAsService::GetModeScheme(uint32_t* scheme) { return Query(RequestWithWords(kGetModeScheme), 12, scheme); }
bool LvxAsService::RegisterNotificationWindow(uint64_t window) {
    ServiceRecord record = ServiceRecord::Request(kRegisterWindow);
    record.SetWord64(12, window);
    return ExchangeRecord(&record);
}
bool LvxAsService::SendValue64(uint64_t value) {
    ServiceRecord record = ServiceRecord::Request(kSendValue64);
    record.SetWord64(12, value);
    return ExchangeRecord(&record);
}
bool LvxAsService::RequestDataRefresh(int32_t dataType) { return Send(kRequestDataRefresh, 0, dataType); }
bool LvxAsService::GetModeVariant(uint32_t* variant) { return Query(RequestWithWords(kGetModeVariant), 12, variant); }
bool LvxAsService::CheckService(uint32_t* readiness) { return Query(RequestWithWords(kCheckService), 12, readiness); }
bool LvxAsService::SetPollingInterval(int32_t category, uint32_t intervalMs) {
    const uint32_t command = PollingCommand(category);
    return command != 0 && Send(command, intervalMs);
}

}  // namespace ORV
