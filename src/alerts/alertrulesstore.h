#pragma once
// The alert rules in the settings store, under "Software\Dervel\Alerts": a key per rule,
// named by its key ("blocking", "long-request", "blocked-count", "unanswered"), holding
//   "Enabled"          REG_DWORD 0 or 1
//   "Threshold"        REG_DWORD, in the rule's unit (s, min, sessions, periods)
//   "ExcludeLogins", "ExcludePrograms", "ExcludeDatabases", "ExcludeCommands", "Servers"
//                      REG_SZ, items separated by ";" ("*" and "?" match any text and one
//                      character; an empty "Servers" is every server)
// A missing key or value keeps the built-in rule. dervel-record's --rules FILE reads the
// same key from a file of the same form.

#include "alerts/alertrule.h"

class TRegistry;

// Reads the rules; a value of the wrong type or out of range keeps the built-in one and is
// named in AProblem (empty when there is none). Never throws.
TAlertRules ReadAlertRules(TRegistry& ARegistry, QString* AProblem = nullptr);
// Writes every rule. Throws ERegistryException.
void WriteAlertRules(TRegistry& ARegistry, const TAlertRules& ARules);
