#pragma once
// The statements the application sends, as test input: the sampling query built from its
// 47 template lines (hidden columns commented out, filter lines, order line) and the
// detail statements.

#include <string>
#include <vector>

struct SamplingOptions {
    std::vector<int> hiddenLines;     // 1..36: prefixed with "--"
    std::vector<std::string> filters; // whole lines appended after "where 1=1"
    int orderBy = 1;
    bool descending = false;
};

const std::vector<std::string>& samplingTemplate(); // the 47 lines
std::string samplingQuery(const SamplingOptions& options = {});
// The filter lines the query composition appends.
std::string databaseFilter(const std::string& name); // "" selects the <empty> entry
std::string statusFilter(const std::string& quotedList);
std::string loginFilter(const std::string& login);
std::string userOnlyFilter();
std::string blockingFilter();

std::string connectStatement();
std::string statementTextQuery(int spid, int requestId);
