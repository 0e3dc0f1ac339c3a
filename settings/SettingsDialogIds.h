// Resource ids of the settings dialog, shared by its template (resource
// compiler) and its procedure; plain macros because the resource compiler
// reads this file too.
#pragma once

#define IDD_LAUNCHER_SETTINGS 182
#define IDC_MIRROR_LIST 183
#define IDC_ECH_CHECKBOX 184
#define IDC_MIRROR_LABEL 185
#define IDC_ECH_DESCRIPTION 186
#define IDC_WELCOME 187
#define IDC_LANGUAGE_LIST 188
#define IDC_LANGUAGE_LABEL 189
#define IDC_LANGUAGE_WARNING 190
#define IDC_CONNECTIONS_LIST 191
#define IDC_CONNECTIONS_LABEL 192
#define IDC_SPEED_LIMIT_LIST 193
#define IDC_SPEED_LIMIT_LABEL 194
