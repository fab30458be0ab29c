#pragma once
// T-SQL colouring as plain values: the text is cut into runs of one token class each.
// Works on the UTF-8 bytes the text area holds, so a run's start and length are byte
// positions; every byte of the input belongs to exactly one run.

#include <QByteArray>
#include <QList>

enum TSqlStyle : int {
    ssDefault,
    ssComment,
    ssDataType,
    ssFunction,
    ssKeyword,
    ssNumber,
    ssString,
    ssProcedure,
    ssTable,
    ssVariable,
    ssStyleCount
};

struct TSqlRun {
    int Start = 0;
    int Length = 0;
    TSqlStyle Style = ssDefault;
    bool operator==(const TSqlRun&) const = default;
};

// What is still open at the end of a piece of text, so that the next piece (the next
// line) goes on with it: a string, a quoted or bracketed name, or a block comment
// (nested as T-SQL allows; the depth is part of the state).
enum : int {
    kSqlNormal = 0,
    kSqlInString = 1,
    kSqlInQuotedName = 2,
    kSqlInBracketName = 3,
    kSqlInComment = 4 // + nesting depth - 1
};

struct TSqlScan {
    QList<TSqlRun> Runs; // in order, adjacent runs of one class merged
    int EndState = kSqlNormal;
};

TSqlScan ScanSql(const QByteArray& AText, int AState = kSqlNormal);

// The class of a word that stands on its own (keywords, data types, built-in
// functions, system tables and views, system procedures); the word in any letter case.
TSqlStyle SqlWordStyle(const QByteArray& AWord);
