#pragma once
// The tables a SELECT reads and the names they expose, nested for correlated subqueries,
// and the resolution of a column reference against them.

#include "ast.h"
#include "catalog.h"
#include "typed_sql.h"

#include <optional>
#include <string>
#include <vector>

namespace testserver {

// A multi-part name as SQL Server's messages quote it: "sys.dm_exec_sessions".
std::string JoinedName(const std::vector<std::string>& parts);

struct NameBinding {
    const CatalogObject* object = nullptr;
    std::optional<std::string> alias; // with an alias the object's own name is hidden
    std::vector<std::string> name;    // as written
    std::string sqlAlias;             // the unique alias in the SQLite text
    bool outer = false;               // on the optional side of an outer join
};

class NameScope {
public:
    explicit NameScope(const NameScope* parent = nullptr);
    void add(NameBinding binding);
    const std::vector<NameBinding>& bindings() const { return bindings_; }
    // Bindings [first, last) may come out NULL-extended: their columns become nullable.
    void markOuter(std::size_t first, std::size_t last);
    // Resolves [qualifier.]column, innermost scope first. Throws SqlError 207 (no such
    // column), 209 (ambiguous) or 4104 (unknown qualifier).
    TypedSql resolve(const Expr& columnRef) const;

private:
    const NameScope* parent_;
    std::vector<NameBinding> bindings_;
};

} // namespace testserver
