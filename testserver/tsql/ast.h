#pragma once
// The parsed form of the T-SQL statements the engine understands.

#include "tokenizer.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace testserver {

struct SelectStmt;
struct Expr;
using ExprPtr = std::unique_ptr<Expr>;

enum class ExprKind {
    Literal,  // token holds the literal; NULL is a literal too
    Column,   // parts: [schema.][object.]column, as written
    Variable, // token: @@name or @name
    Unary,    // op: "-", "+", "~", "not"
    Binary,   // op: arithmetic, comparison, "and", "or"
    Function, // name, args; star for count(*)
    Case,     // operand (simple case) or none; whens; elseExpr
    Exists,   // subquery
    InList,   // args[0] in (args[1..]); negated
    InSelect, // args[0] in (subquery); negated
    IsNull,   // args[0] is [not] null; negated
    Between,  // args[0] between args[1] and args[2]; negated
    Like,     // args[0] like args[1]; negated
    Subquery, // a scalar (select ...)
};

struct WhenClause {
    ExprPtr when;
    ExprPtr then;
};

struct Expr {
    ExprKind kind = ExprKind::Literal;
    Token token; // where the expression starts, for messages
    std::vector<std::string> parts;
    std::string op;
    std::string name;
    std::vector<ExprPtr> args;
    bool star = false;
    bool negated = false;
    ExprPtr operand;
    std::vector<WhenClause> whens;
    ExprPtr elseExpr;
    std::unique_ptr<SelectStmt> subquery;
};

struct SelectItem {
    ExprPtr expr;                       // none for * and X.*
    std::vector<std::string> starOwner; // X of X.*; empty for a bare *
    bool star = false;
    std::optional<std::string> alias;
    Token token;
};

struct TableSource {
    std::vector<std::string> name; // as written, e.g. {"sys", "dm_exec_sessions"}
    bool isFunction = false;
    std::vector<ExprPtr> args;
    std::optional<std::string> alias;
    Token token;
};

enum class JoinType { Inner, Left, Right, Full, Cross, CrossApply, OuterApply };

struct Join {
    JoinType type = JoinType::Inner;
    TableSource source;
    ExprPtr on; // none for cross joins and applies
};

struct OrderItem {
    ExprPtr expr;
    bool descending = false;
};

struct SelectStmt {
    bool distinct = false;
    std::optional<std::int64_t> top;
    std::vector<SelectItem> items;
    std::optional<TableSource> from;
    std::vector<Join> joins;
    ExprPtr where;
    std::vector<ExprPtr> groupBy;
    ExprPtr having;
    std::vector<OrderItem> orderBy;
    Token token;
};

enum class StatementKind { Select, Kill, DbccInputBuffer, DbccOther, Set, Use, Print };

struct Statement {
    StatementKind kind = StatementKind::Select;
    Token first;             // its first token
    std::size_t begin16 = 0; // UTF-16 offsets of the statement in the batch
    std::size_t end16 = 0;
    bool isLast = false; // the batch's last statement
    std::unique_ptr<SelectStmt> select;
    std::int64_t number = 0; // kill / DBCC INPUTBUFFER session id
    Token numberToken;
    std::optional<std::int64_t> requestId;
    bool noInfoMessages = false;
    std::vector<std::string> setOptions; // lower-case option names of a SET
    std::string setValue;                // its value as written ("on", "read committed", "5")
    std::string name;                    // USE database
    ExprPtr expr;                        // PRINT
};

} // namespace testserver
