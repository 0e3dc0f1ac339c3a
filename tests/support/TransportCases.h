// What both HTTP transports are held to: the statuses they must turn into the
// same error texts, and the fixtures nginx serves to them.
#pragma once

#include <string>
#include <vector>

struct StatusCase
{
    int status;
    const char* key; // the localized error text's key; null: no error
};

// Both sides of each band's edges, and the bands' neighbours that are no error.
extern const std::vector<StatusCase> kStatusCases;

// The English text a transport must give for `statusCase`, "" when none.
std::string ExpectedStatusError(const StatusCase& statusCase);

// The English text of a localized key, as UTF-8.
std::string EnglishText(const std::string& key);

// A file of tests/http/testdata/www/fixtures, which nginx serves under /fixtures/.
std::string ReadFixture(const std::string& name);
