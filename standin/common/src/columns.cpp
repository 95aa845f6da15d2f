#include "standin/columns.h"

#include <iterator>

#include "standin/languages.h"

namespace korv::standin {

namespace {

constexpr ColumnSpec kTime = {20, {u"Time", u"Zeit", u"Čas"}};

// Titles used by several kinds.
constexpr ColumnSpec kUser = {14, {u"User", u"Benutzer", u"Uživatel"}};
constexpr ColumnSpec kAction = {16, {u"Action", u"Aktion", u"Akce"}};
constexpr ColumnSpec kApplication = {30, {u"Application", u"Anwendung", u"Aplikace"}};
constexpr ColumnSpec kUrl = {40, {u"URL", u"URL", u"URL"}};
constexpr ColumnSpec kCategory = {16, {u"Category", u"Kategorie", u"Kategorie"}};
constexpr ColumnSpec kRule = {20, {u"Rule", u"Regel", u"Pravidlo"}};
constexpr ColumnSpec kIpAddress = {18, {u"IP address", u"IP-Adresse", u"IP adresa"}};
constexpr ColumnSpec kSender = {24, {u"Sender", u"Absender", u"Odesílatel"}};
constexpr ColumnSpec kRecipient = {24, {u"Recipient", u"Empfänger", u"Příjemce"}};
constexpr ColumnSpec kSubject = {30, {u"Subject", u"Betreff", u"Předmět"}};
constexpr ColumnSpec kDetection = {24, {u"Detection", u"Erkennung", u"Detekce"}};
constexpr ColumnSpec kFile = {40, {u"File", u"Datei", u"Soubor"}};
constexpr ColumnSpec kHash = {40, {u"Hash", u"Hash", u"Hash"}};
constexpr ColumnSpec kReason = {20, {u"Reason", u"Grund", u"Důvod"}};
constexpr ColumnSpec kSize = {10, {u"Size", u"Größe", u"Velikost"}};
constexpr ColumnSpec kTarget = {30, {u"Target", u"Ziel", u"Cíl"}};

constexpr ColumnSpec kDetections[] = {
    {22, {u"Scanner", u"Scanner", u"Skener"}},
    {12, {u"Object type", u"Objekttyp", u"Typ objektu"}},
    {40, {u"Object", u"Objekt", u"Objekt"}},
    kDetection,
    kAction,
    kUser,
    {36, {u"Information", u"Informationen", u"Informace"}},
    kHash,
    {20, {u"First seen here", u"Zuerst hier gesehen", u"Poprvé zde zjištěno"}},
};

constexpr ColumnSpec kEvents[] = {
    {20, {u"Module", u"Modul", u"Modul"}},
    {50, {u"Event", u"Ereignis", u"Událost"}},
    kUser,
};

// A scan in the list: its summary.
constexpr ColumnSpec kScanSummary[] = {
    {36, {u"Target", u"Ziel", u"Cíl"}},
    {20, {u"Started", u"Gestartet", u"Zahájeno"}},
    {10, {u"Scanned", u"Geprüft", u"Zkontrolováno"}},
    {10, {u"Detections", u"Erkennungen", u"Počet detekcí"}},
    {20, {u"Result", u"Ergebnis", u"Výsledek"}},
};

// One scan log's records: the summary fills the first five, a finding
// leaves the counts empty and adds its detection.
constexpr ColumnSpec kScanRecords[] = {
    {40, {u"Object", u"Objekt", u"Objekt"}},
    {20, {u"Time", u"Zeit", u"Čas"}},
    {10, {u"Scanned", u"Geprüft", u"Zkontrolováno"}},
    {10, {u"Detections", u"Erkennungen", u"Počet detekcí"}},
    {20, {u"Result", u"Ergebnis", u"Výsledek"}},
    kDetection,
};

constexpr ColumnSpec kNetwork[] = {
    {30, {u"Event", u"Ereignis", u"Událost"}},
    {18, {u"Source", u"Quelle", u"Zdroj"}},
    {8, {u"Source port", u"Quellport", u"Zdrojový port"}},
    {18, {u"Target", u"Ziel", u"Cíl"}},
    {8, {u"Target port", u"Zielport", u"Cílový port"}},
    {8, {u"Protocol", u"Protokoll", u"Protokol"}},
    kRule,
    kApplication,
    kUser,
};

constexpr ColumnSpec kAntispam[] = {kSender, kRecipient, kSubject, {8, {u"Score", u"Bewertung", u"Skóre"}}, kAction};
constexpr ColumnSpec kGreyList[] = {kAction, kIpAddress, kSender, kRecipient};
constexpr ColumnSpec kHips[] = {
    kApplication, {24, {u"Operation", u"Vorgang", u"Operace"}}, kTarget, kAction, kRule,
    {30, {u"Additional information", u"Zusätzliche Informationen", u"Další informace"}},
};
constexpr ColumnSpec kParental[] = {kUrl, kCategory, kAction, kUser};
constexpr ColumnSpec kDevice[] = {
    {24, {u"Device", u"Gerät", u"Zařízení"}},
    {16, {u"Vendor", u"Hersteller", u"Výrobce"}},
    {16, {u"Serial number", u"Seriennummer", u"Sériové číslo"}},
    kAction,
    kRule,
    kUser,
};
constexpr ColumnSpec kWebControl[] = {kUrl, kCategory, kAction, kRule, kUser, kIpAddress};
constexpr ColumnSpec kFiltered[] = {kUrl, {16, {u"Status", u"Status", u"Stav"}}, kApplication, kUser, kIpAddress};
constexpr ColumnSpec kMailserver[] = {kSender, kRecipient, kSubject, kDetection, kAction, kIpAddress};
constexpr ColumnSpec kWebcam[] = {kApplication, kAction, kUser};
constexpr ColumnSpec kBlocked[] = {kFile, kHash, kApplication, kReason, kUser, kSize};
constexpr ColumnSpec kSent[] = {kFile, kHash, kSize, kReason, kUser, {12, {u"State", u"Status", u"Stav"}}};
constexpr ColumnSpec kSmtp[] = {kSender, kRecipient, kDetection, kAction, kIpAddress};
constexpr ColumnSpec kAudit[] = {
    kAction,
    {16, {u"Changed by", u"Geändert von", u"Změnil"}},
    {30, {u"Setting", u"Einstellung", u"Nastavení"}},
    {40, {u"Details", u"Details", u"Podrobnosti"}},
};
constexpr ColumnSpec kBpp[] = {kUrl, kApplication, kAction, {10, {u"Process ID", u"Prozess-ID", u"ID procesu"}}, kUser};

struct KindColumns {
  int type_id;
  std::span<const ColumnSpec> list;    // view mode 1, without the time column
  std::span<const ColumnSpec> record;  // view mode 3
};

constexpr KindColumns kKinds[] = {
    {1, kDetections, kDetections}, {2, kEvents, kEvents},      {3, kScanSummary, kScanRecords},
    {4, kNetwork, kNetwork},       {5, kAntispam, kAntispam},  {6, kGreyList, kGreyList},
    {7, kHips, kHips},             {8, kParental, kParental},  {9, kDevice, kDevice},
    {10, kWebControl, kWebControl}, {11, kFiltered, kFiltered}, {12, kScanSummary, kScanRecords},
    {15, kMailserver, kMailserver}, {17, kWebcam, kWebcam},     {18, kBlocked, kBlocked},
    {19, kSent, kSent},            {21, kSmtp, kSmtp},          {22, kAudit, kAudit},
    {25, kBpp, kBpp},
};

const KindColumns* find_kind(int type_id) {
  for (const KindColumns& k : kKinds) {
    if (k.type_id == type_id) return &k;
  }
  return nullptr;
}

void append_column(const ColumnSpec& c, int lang, std::u16string* out) {
  if (!out->empty()) out->push_back(u',');
  out->append(c.title[lang]);
  out->push_back(u'=');
  for (char ch : std::to_string(c.width)) out->push_back(static_cast<char16_t>(ch));
}

}  // namespace

bool type_id_known(int type_id) { return find_kind(type_id) != nullptr; }

std::span<const ColumnSpec> data_columns(int type_id, int view_mode) {
  const KindColumns* k = find_kind(type_id);
  if (!k) return {};
  if (view_mode == kViewList) return k->list;
  if (view_mode == kViewRecord) return k->record;
  return {};
}

std::u16string header_text(int type_id, int view_mode, uint16_t langid) {
  const std::span<const ColumnSpec> columns = data_columns(type_id, view_mode);
  std::u16string out;
  if (columns.empty()) return out;
  const int lang = language_index_or_default(langid);
  if (view_mode == kViewList) append_column(kTime, lang, &out);
  for (const ColumnSpec& c : columns) append_column(c, lang, &out);
  return out;
}

}  // namespace korv::standin
