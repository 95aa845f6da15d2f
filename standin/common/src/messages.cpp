#include "standin/messages.h"

#include <algorithm>
#include <iterator>
#include <string_view>

#include "standin/languages.h"

namespace korv::standin {

namespace {

struct MessageText {
  uint32_t id;
  std::u16string_view text[3];  // English, German, Czech
};

// Sorted by id.
constexpr MessageText kMessages[] = {
    {kMsgCleanedByDeleting, {u"cleaned by deleting", u"durch Löschen gesäubert", u"vyléčeno smazáním"}},
    {kMsgQuarantined, {u"quarantined", u"in Quarantäne verschoben", u"přesunuto do karantény"}},
    {kMsgBlocked, {u"blocked", u"blockiert", u"zablokováno"}},
    {kMsgAllowed, {u"allowed", u"zugelassen", u"povoleno"}},
    {kMsgRetained, {u"retained", u"beibehalten", u"ponecháno"}},
    {kMsgConnectionTerminated, {u"connection terminated", u"Verbindung beendet", u"spojení ukončeno"}},
    {kMsgDeleted, {u"deleted", u"gelöscht", u"smazáno"}},
    {kMsgMarkedAsSpam, {u"marked as spam", u"als Spam markiert", u"označeno jako spam"}},
    {kMsgRejected, {u"rejected", u"abgelehnt", u"odmítnuto"}},
    {kMsgUserWarned, {u"user warned", u"Benutzer gewarnt", u"uživatel upozorněn"}},
    {kMsgObjFile, {u"file", u"Datei", u"soubor"}},
    {kMsgObjMemory, {u"operating memory", u"Arbeitsspeicher", u"operační paměť"}},
    {kMsgObjBootSector, {u"boot sector", u"Bootsektor", u"zaváděcí sektor"}},
    {kMsgObjEmail, {u"email", u"E-Mail", u"e-mail"}},
    {kMsgObjWebPage, {u"web page", u"Webseite", u"webová stránka"}},
    {kMsgScanRealTime,
     {u"Real-time file system protection", u"Echtzeit-Dateischutz", u"Rezidentní ochrana souborového systému"}},
    {kMsgScanWeb, {u"Web access protection", u"Web-Schutz", u"Ochrana přístupu na web"}},
    {kMsgScanEmail, {u"Email client protection", u"E-Mail-Client-Schutz", u"Ochrana poštovních klientů"}},
    {kMsgScanOnDemand, {u"On-demand computer scan", u"On-Demand-Prüfung", u"Kontrola počítače"}},
    {kMsgScanStartup, {u"Startup file check", u"Prüfung der Systemstartdateien", u"Kontrola souborů po spuštění"}},
    {kMsgInfoNewFile,
     {u"Event occurred on a newly created file.", u"Ereignis beim Erstellen einer neuen Datei.",
      u"Událost nastala u nově vytvořeného souboru."}},
    {kMsgInfoAccess,
     {u"Event occurred during an attempt to access the file.", u"Ereignis beim Versuch, auf die Datei zuzugreifen.",
      u"Událost nastala při pokusu o přístup k souboru."}},
    {kMsgInfoModified,
     {u"Event occurred on a file modified by the application.", u"Ereignis bei einer von der Anwendung geänderten Datei.",
      u"Událost nastala u souboru změněného aplikací."}},
    {kMsgInfoDownload,
     {u"Threat found while downloading.", u"Bedrohung beim Herunterladen gefunden.",
      u"Hrozba nalezena při stahování."}},
    {kMsgEvUpdated,
     {u"Detection engine was successfully updated.", u"Die Erkennungsroutine wurde erfolgreich aktualisiert.",
      u"Detekční jádro bylo úspěšně aktualizováno."}},
    {kMsgEvNoServer,
     {u"Could not connect to the update server.", u"Keine Verbindung zum Update-Server.",
      u"Nepodařilo se připojit k aktualizačnímu serveru."}},
    {kMsgEvTaskStarted, {u"Scheduled task started.", u"Geplanter Task gestartet.", u"Naplánovaná úloha byla spuštěna."}},
    {kMsgEvServiceStarted, {u"Service started.", u"Dienst gestartet.", u"Služba byla spuštěna."}},
    {kMsgEvServiceStopped, {u"Service stopped.", u"Dienst beendet.", u"Služba byla zastavena."}},
    {kMsgEvLicenceSoon, {u"The licence expires soon.", u"Die Lizenz läuft bald ab.", u"Platnost licence brzy vyprší."}},
    {kMsgEvNoDiskSpace,
     {u"Update failed: not enough free disk space.", u"Update fehlgeschlagen: zu wenig freier Speicherplatz.",
      u"Aktualizace selhala: nedostatek místa na disku."}},
    {kMsgEvModuleFailed, {u"Loading a module failed.", u"Laden eines Moduls fehlgeschlagen.", u"Načtení modulu selhalo."}},
    {kMsgEvKernelError,
     {u"Critical error in the protection kernel.", u"Kritischer Fehler im Schutzkernel.", u"Kritická chyba v jádru ochrany."}},
    {kMsgEvConfigReloaded,
     {u"Configuration reloaded.", u"Konfiguration neu geladen.", u"Konfigurace byla znovu načtena."}},
    {kMsgNetRuleBlocked,
     {u"Communication blocked by a rule", u"Kommunikation durch Regel blockiert", u"Komunikace zablokována pravidlem"}},
    {kMsgNetPortScan, {u"Port scanning attack detected", u"Portscan-Angriff erkannt", u"Zjištěn útok skenováním portů"}},
    {kMsgNetAllowed, {u"Communication allowed", u"Kommunikation zugelassen", u"Komunikace povolena"}},
    {kMsgNetBotnet, {u"Botnet communication detected", u"Botnet-Kommunikation erkannt", u"Zjištěna komunikace botnetu"}},
    {kMsgNetArpPoisoning, {u"ARP cache poisoning attack", u"ARP-Cache-Poisoning-Angriff", u"Útok podvržením ARP cache"}},
    {kMsgScanCompleted, {u"Completed", u"Abgeschlossen", u"Dokončeno"}},
    {kMsgScanInterrupted, {u"Interrupted by the user", u"Vom Benutzer abgebrochen", u"Přerušeno uživatelem"}},
    {kMsgScanFailed, {u"Not completed: error", u"Nicht abgeschlossen: Fehler", u"Nedokončeno: chyba"}},
    {kMsgOpRegistry, {u"Modify the registry", u"Registrierung ändern", u"Úprava registru"}},
    {kMsgOpStartApp, {u"Start a new application", u"Neue Anwendung starten", u"Spuštění nové aplikace"}},
    {kMsgOpAccessApp, {u"Access another application", u"Auf andere Anwendung zugreifen", u"Přístup k jiné aplikaci"}},
    {kMsgOpWriteFile, {u"Write to a file", u"In Datei schreiben", u"Zápis do souboru"}},
    {kMsgCatGambling, {u"Gambling", u"Glücksspiel", u"Hazardní hry"}},
    {kMsgCatSocial, {u"Social networks", u"Soziale Netzwerke", u"Sociální sítě"}},
    {kMsgCatAdult, {u"Adult content", u"Inhalte für Erwachsene", u"Obsah pro dospělé"}},
    {kMsgCatGames, {u"Games", u"Spiele", u"Hry"}},
    {kMsgCatWeapons, {u"Weapons", u"Waffen", u"Zbraně"}},
    {kMsgReasonPolicy, {u"Blocked by policy", u"Durch Richtlinie blockiert", u"Zablokováno zásadou"}},
    {kMsgReasonSuspicious, {u"Suspicious file", u"Verdächtige Datei", u"Podezřelý soubor"}},
    {kMsgReasonAutomatic, {u"Submitted automatically", u"Automatisch übermittelt", u"Odesláno automaticky"}},
    {kMsgStateSent, {u"Sent", u"Gesendet", u"Odesláno"}},
    {kMsgStatePending, {u"Pending", u"Ausstehend", u"Čeká na odeslání"}},
    {kMsgAuditSettings, {u"Settings changed", u"Einstellungen geändert", u"Nastavení bylo změněno"}},
    {kMsgAuditPaused, {u"Protection paused", u"Schutz angehalten", u"Ochrana pozastavena"}},
    {kMsgAuditExclusion, {u"Exclusion added", u"Ausschluss hinzugefügt", u"Výjimka přidána"}},
    {kMsgGreyRejected, {u"Temporarily rejected", u"Vorübergehend abgelehnt", u"Dočasně odmítnuto"}},
    {kMsgGreyAccepted, {u"Accepted after retry", u"Nach Wiederholung angenommen", u"Přijato po opakování"}},
};

const MessageText* find_message(uint32_t id) {
  auto it = std::lower_bound(std::begin(kMessages), std::end(kMessages), id,
                             [](const MessageText& m, uint32_t v) { return m.id < v; });
  return it != std::end(kMessages) && it->id == id ? &*it : nullptr;
}

}  // namespace

bool message_known(uint32_t id) { return find_message(id) != nullptr; }

void append_message_text(uint32_t id, uint16_t langid, std::u16string& out) {
  if (const MessageText* m = find_message(id)) {
    out.append(m->text[language_index_or_default(langid)]);
    return;
  }
  out.push_back(u'#');
  for (char c : std::to_string(id)) out.push_back(static_cast<char16_t>(c));
}

std::u16string message_text(uint32_t id, uint16_t langid) {
  std::u16string out;
  append_message_text(id, langid, out);
  return out;
}

}  // namespace korv::standin
