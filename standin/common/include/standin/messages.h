// Message texts that MSG fields refer to, in the three served languages.
#pragma once

#include <cstdint>
#include <string>

namespace korv::standin {

// Ids are stored in log files: never renumber, only add.
enum Msg : uint32_t {
  // actions
  kMsgCleanedByDeleting = 1,
  kMsgQuarantined = 2,
  kMsgBlocked = 3,
  kMsgAllowed = 4,
  kMsgRetained = 5,
  kMsgConnectionTerminated = 6,
  kMsgDeleted = 7,
  kMsgMarkedAsSpam = 8,
  kMsgRejected = 9,
  kMsgUserWarned = 10,
  // object types
  kMsgObjFile = 20,
  kMsgObjMemory = 21,
  kMsgObjBootSector = 22,
  kMsgObjEmail = 23,
  kMsgObjWebPage = 24,
  // scanners
  kMsgScanRealTime = 30,
  kMsgScanWeb = 31,
  kMsgScanEmail = 32,
  kMsgScanOnDemand = 33,
  kMsgScanStartup = 34,
  // detection information
  kMsgInfoNewFile = 40,
  kMsgInfoAccess = 41,
  kMsgInfoModified = 42,
  kMsgInfoDownload = 43,
  // events
  kMsgEvUpdated = 50,
  kMsgEvNoServer = 51,
  kMsgEvTaskStarted = 52,
  kMsgEvServiceStarted = 53,
  kMsgEvServiceStopped = 54,
  kMsgEvLicenceSoon = 55,
  kMsgEvNoDiskSpace = 56,
  kMsgEvModuleFailed = 57,
  kMsgEvKernelError = 58,
  kMsgEvConfigReloaded = 59,
  // network protection
  kMsgNetRuleBlocked = 60,
  kMsgNetPortScan = 61,
  kMsgNetAllowed = 62,
  kMsgNetBotnet = 63,
  kMsgNetArpPoisoning = 64,
  // scan results
  kMsgScanCompleted = 70,
  kMsgScanInterrupted = 71,
  kMsgScanFailed = 72,
  // HIPS operations
  kMsgOpRegistry = 80,
  kMsgOpStartApp = 81,
  kMsgOpAccessApp = 82,
  kMsgOpWriteFile = 83,
  // web categories
  kMsgCatGambling = 90,
  kMsgCatSocial = 91,
  kMsgCatAdult = 92,
  kMsgCatGames = 93,
  kMsgCatWeapons = 94,
  // file reasons and states
  kMsgReasonPolicy = 100,
  kMsgReasonSuspicious = 101,
  kMsgReasonAutomatic = 102,
  kMsgStateSent = 103,
  kMsgStatePending = 104,
  // audit
  kMsgAuditSettings = 110,
  kMsgAuditPaused = 111,
  kMsgAuditExclusion = 112,
  // grey list
  kMsgGreyRejected = 120,
  kMsgGreyAccepted = 121,
};

// The text of message id in the language (a served LANGID, else English);
// "#id" for an id without a text.
std::u16string message_text(uint32_t id, uint16_t langid);
// The same text appended to `out`.
void append_message_text(uint32_t id, uint16_t langid, std::u16string& out);

// Whether id has a text.
bool message_known(uint32_t id);

}  // namespace korv::standin
