#include "demo_catalog.h"

#include "utf.h"

namespace testserver {

namespace {

using L = DemoLoad;

DemoStatement st(std::string text, std::string command, DemoLoad load, double minSeconds,
                 double maxSeconds, int nestLevel = 1) {
    return DemoStatement{std::move(text), std::move(command), load,
                         minSeconds,      maxSeconds,         nestLevel};
}

DemoStatement begin() {
    return st("BEGIN TRANSACTION", "BEGIN TRANSACTION", L::Instant, 0, 0.01);
}

DemoStatement commit() {
    return st("COMMIT TRANSACTION", "COMMIT TRANSACTION", L::Instant, 0.01, 0.05);
}

DemoApplication oneC() {
    DemoApplication a;
    a.program = "1С:Предприятие";
    a.clientInterface = "ODBC";
    a.logins = {"Иванов", "Петрова", "Сидоренко", "Кузнецова", "Бухгалтер"};
    a.hosts = {"БУХГАЛТЕРИЯ-01", "БУХГАЛТЕРИЯ-02", "БУХГАЛТЕРИЯ-03",
               "БУХГАЛТЕРИЯ-04", "СКЛАД-01",       "ОФИС-ДИРЕКТОР"};
    a.databases = {"Бухгалтерия"};
    a.weight = 0.26;
    a.idleMin = 3;
    a.idleMax = 45;
    a.lifeMin = 600;
    a.lifeMax = 3 * 3600;
    a.batches = {
        makeBatch({st("SELECT T1._IDRRef, T1._Code, T1._Description FROM dbo._Reference42 T1 "
                      "WHERE T1._Marked = 0x00 AND T1._Description LIKE @P1 ORDER BY "
                      "T1._Description",
                      "SELECT", L::Cpu, 0.05, 0.6)}),
        makeBatch({st("SELECT T1._Fld1588RRef, SUM(T1._Fld1589) FROM dbo._AccumRg1587 T1 "
                      "WHERE T1._Period BETWEEN @P1 AND @P2 AND T1._Active = 0x01 GROUP BY "
                      "T1._Fld1588RRef",
                      "SELECT", L::Parallel, 4, 25),
                   st("SELECT T2._IDRRef, T2._Description FROM dbo._Reference17 T2 WHERE "
                      "T2._IDRRef IN (SELECT _Fld1588RRef FROM #tt12)",
                      "SELECT", L::Read, 0.5, 4)}),
        makeBatch(
            {begin(),
             st("UPDATE dbo._AccumRg1587 SET _Active = 0x01 WHERE _RecorderRRef = @P1", "UPDATE",
                L::Write, 0.2, 2),
             st("INSERT INTO dbo._AccumRgT1602 (_Period, _Fld1588RRef, _Fld1589) SELECT "
                "@P1, T1._Fld1588RRef, SUM(T1._Fld1589) FROM dbo._AccumRg1587 T1 WHERE "
                "T1._RecorderRRef = @P2 GROUP BY T1._Fld1588RRef",
                "INSERT", L::Write, 0.3, 3),
             st("DELETE FROM dbo._InfoRg1345 WHERE _Fld1346RRef = @P1", "DELETE", L::Write, 0.1, 1),
             commit()},
            true),
    };
    a.headBatches = {
        makeBatch({begin(), st("UPDATE dbo._AccumRg1587 SET _Active = 0x01 WHERE _RecorderRRef "
                               "= @P1",
                               "UPDATE", L::Write, 0.2, 1)},
                  true),
    };
    a.lockingBatches = {
        makeBatch({begin(),
                   st("UPDATE dbo._AccumRg1587 SET _Active = 0x00 WHERE _RecorderRRef = @P1",
                      "UPDATE", L::Write, 0.3, 2),
                   st("UPDATE dbo._AccumRgT1602 SET _Fld1589 = _Fld1589 + @P2 WHERE "
                      "_Fld1588RRef = @P3",
                      "UPDATE", L::Write, 0.3, 2),
                   commit()},
                  true),
    };
    return a;
}

DemoApplication webShop() {
    DemoApplication a;
    a.program = ".Net SqlClient Data Provider";
    a.clientInterface = ".Net SqlClient Data Provider";
    a.logins = {"webshop_app"};
    a.hosts = {"WEB-01", "WEB-02", "WEB-03", "WEB-04"};
    a.databases = {"WebShop"};
    a.weight = 0.30;
    a.idleMin = 1;
    a.idleMax = 20;
    a.lifeMin = 300;
    a.lifeMax = 2 * 3600;
    a.batches = {
        makeBatch({st("SELECT p.ProductId, p.Name, p.Price, s.Quantity FROM dbo.Products p "
                      "JOIN dbo.Stock s ON s.ProductId = p.ProductId WHERE p.CategoryId = "
                      "@CategoryId ORDER BY p.Name",
                      "SELECT", L::Cpu, 0.05, 0.8)}),
        makeBatch({st("EXEC dbo.usp_PlaceOrder @CustomerId = @p0, @CartId = @p1", "EXECUTE",
                      L::Write, 0.2, 2.5, 2)}),
        makeBatch({st("UPDATE dbo.Carts SET LastSeen = SYSUTCDATETIME() WHERE CartId = @p0",
                      "UPDATE", L::Write, 0.05, 0.4)}),
        makeBatch({st("SELECT TOP (20) o.OrderId, o.OrderDate, o.Total, o.Status FROM "
                      "dbo.Orders o WHERE o.CustomerId = @p0 ORDER BY o.OrderDate DESC",
                      "SELECT", L::Read, 0.1, 1.5)}),
        makeBatch({st("SELECT r.ReviewId, r.Rating, r.Body FROM dbo.Reviews r WHERE "
                      "r.ProductId = @p0",
                      "SELECT", L::Network, 0.5, 3)}),
    };
    a.headBatches = {
        makeBatch({begin(), st("UPDATE dbo.Stock SET Quantity = Quantity - @qty WHERE "
                               "ProductId = @productId",
                               "UPDATE", L::Write, 0.1, 0.5)},
                  true),
    };
    a.lockingBatches = {
        makeBatch({begin(),
                   st("UPDATE dbo.Stock SET Quantity = Quantity - @qty WHERE ProductId = "
                      "@productId",
                      "UPDATE", L::Write, 0.1, 1),
                   st("INSERT INTO dbo.StockMoves (ProductId, Qty, MovedAt) VALUES "
                      "(@productId, @qty, SYSUTCDATETIME())",
                      "INSERT", L::Write, 0.1, 1),
                   commit()},
                  true),
        makeBatch({begin(),
                   st("DELETE FROM dbo.CartItems WHERE CartId = @p0", "DELETE", L::Write, 0.1, 1),
                   st("UPDATE dbo.Stock SET Reserved = Reserved - @p1 WHERE ProductId = @p2",
                      "UPDATE", L::Write, 0.1, 1),
                   commit()},
                  true),
    };
    return a;
}

DemoApplication billing() {
    DemoApplication a;
    a.program = "Billing Service";
    a.clientInterface = "Microsoft JDBC Driver 12.4";
    a.logins = {"billing_svc"};
    a.hosts = {"APP-BILLING-01", "APP-BILLING-02"};
    a.databases = {"Sales"};
    a.weight = 0.10;
    a.idleMin = 2;
    a.idleMax = 30;
    a.lifeMin = 3600;
    a.lifeMax = 24 * 3600;
    a.batches = {
        makeBatch({st("INSERT INTO dbo.Invoices (CustomerId, Amount, DueDate) VALUES (@P0, @P1, "
                      "@P2)",
                      "INSERT", L::Write, 0.05, 0.5)}),
        makeBatch({st("SELECT i.InvoiceId, i.CustomerId, i.Amount FROM dbo.Invoices i WHERE "
                      "i.DueDate < @P0 AND i.Paid = 0",
                      "SELECT", L::Read, 2, 12)}),
        makeBatch({st("EXEC dbo.usp_ChargeAccounts @BatchSize = @P0", "EXECUTE", L::Cpu, 1, 8, 2)}),
    };
    a.headBatches = {
        makeBatch({begin(), st("UPDATE dbo.Accounts SET Balance = Balance - @P0 WHERE AccountId "
                               "= @P1",
                               "UPDATE", L::Write, 0.1, 0.5)},
                  true),
    };
    a.lockingBatches = {
        makeBatch({begin(),
                   st("UPDATE dbo.Accounts SET Balance = Balance - @P0 WHERE AccountId = @P1",
                      "UPDATE", L::Write, 0.1, 1),
                   st("INSERT INTO dbo.Payments (AccountId, Amount, PaidAt) VALUES (@P1, @P0, "
                      "SYSDATETIME())",
                      "INSERT", L::Write, 0.1, 1),
                   commit()},
                  true),
    };
    return a;
}

DemoApplication managementStudio() {
    DemoApplication a;
    a.program = "Microsoft SQL Server Management Studio - Query";
    a.clientInterface = ".Net SqlClient Data Provider";
    a.logins = {"O'Brien", "sa", "d'Artagnan"};
    a.hosts = {"DBA-LAPTOP-07", "DEV-PC-112", "DEV-PC-118"};
    a.databases = {"Sales", "master", "Reporting", "Inventory"};
    a.weight = 0.07;
    a.idleMin = 20;
    a.idleMax = 180;
    a.lifeMin = 300;
    a.lifeMax = 2400;
    a.batches = {
        makeBatch({st("SELECT COUNT(*) FROM dbo.Orders WHERE OrderDate >= '20250101'", "SELECT",
                      L::Read, 1, 6),
                   st("SELECT TOP 100 * FROM dbo.Orders ORDER BY OrderId DESC", "SELECT",
                      L::Network, 0.5, 3),
                   st("EXEC sp_spaceused N'dbo.Orders'", "EXECUTE", L::Cpu, 0.2, 1, 2)}),
        makeBatch({st("WAITFOR DELAY '00:00:30'", "WAITFOR", L::Delay, 30, 30),
                   st("SELECT GETDATE() AS finished", "SELECT", L::Instant, 0.01, 0.05)}),
        makeBatch({st("DBCC SQLPERF(LOGSPACE)", "DBCC", L::Cpu, 0.1, 0.5)}),
        makeBatch({st("SELECT c.CustomerId, c.Name, SUM(o.Total) AS Revenue FROM dbo.Customers c "
                      "JOIN dbo.Orders o ON o.CustomerId = c.CustomerId GROUP BY c.CustomerId, "
                      "c.Name ORDER BY Revenue DESC",
                      "SELECT", L::Parallel, 8, 40)}),
    };
    a.headBatches = {
        makeBatch({begin(), st("DELETE FROM dbo.Orders WHERE OrderDate < '20200101'", "DELETE",
                               L::Write, 1, 4)},
                  true),
    };
    return a;
}

DemoApplication reporting() {
    DemoApplication a;
    a.program = "Reporting Services";
    a.clientInterface = ".Net SqlClient Data Provider";
    a.logins = {"svc_reports"};
    a.ntDomain = "CONTOSO";
    a.hosts = {"SRV-REPORTS"};
    a.databases = {"Reporting", "Sales"};
    a.weight = 0.08;
    a.idleMin = 20;
    a.idleMax = 240;
    a.lifeMin = 1800;
    a.lifeMax = 8 * 3600;
    a.isolationLevel = 1; // read uncommitted, as report data sources often ask
    a.batches = {
        makeBatch({st("SELECT d.Year, d.Month, r.Region, SUM(f.Amount) AS Amount FROM "
                      "dw.FactSales f JOIN dw.DimDate d ON d.DateKey = f.DateKey JOIN "
                      "dw.DimRegion r ON r.RegionKey = f.RegionKey GROUP BY d.Year, d.Month, "
                      "r.Region",
                      "SELECT", L::Parallel, 15, 90)}),
        makeBatch({st("SELECT * FROM dw.FactSales WHERE DateKey BETWEEN @From AND @To", "SELECT",
                      L::Network, 10, 60)}),
        makeBatch({st("SELECT p.Category, COUNT(*) AS Orders FROM dw.FactSales f JOIN "
                      "dw.DimProduct p ON p.ProductKey = f.ProductKey GROUP BY p.Category",
                      "SELECT", L::Read, 5, 30)}),
    };
    return a;
}

DemoApplication agentJobs() {
    DemoApplication a;
    a.program = "SQLAgent - TSQL JobStep (Job 0x8F6C2B1D4E3A5F60B7C9D0E1F2A3B4C5 : Step 1)";
    a.clientInterface = "ODBC";
    a.logins = {"SQLSERVERAGENT"};
    a.ntDomain = "NT SERVICE";
    a.hosts = {"DERVEL-SQL"};
    a.databases = {"master", "msdb"};
    a.weight = 0.02;
    a.idleMin = 1;
    a.idleMax = 5;
    a.leavesAfterBatch = true;
    a.batches = {
        makeBatch({st("BACKUP DATABASE [Sales] TO DISK = N'/var/opt/mssql/backup/Sales_FULL.bak' "
                      "WITH COMPRESSION, CHECKSUM, STATS = 10",
                      "BACKUP DATABASE", L::Backup, 120, 420)}),
        makeBatch({st("DBCC CHECKDB (N'Inventory') WITH NO_INFOMSGS, ALL_ERRORMSGS", "DBCC",
                      L::Check, 60, 240)}),
        makeBatch({st("DECLARE @oldest datetime = DATEADD(day, -30, GETDATE())", "SELECT",
                      L::Instant, 0.01, 0.05),
                   st("EXEC msdb.dbo.sp_purge_jobhistory @oldest_date = @oldest", "EXECUTE",
                      L::Write, 5, 30, 2)}),
    };
    return a;
}

DemoApplication agentService() {
    DemoApplication a;
    a.program = "SQLAgent - Generic Refresher";
    a.clientInterface = "ODBC";
    a.logins = {"SQLSERVERAGENT"};
    a.ntDomain = "NT SERVICE";
    a.hosts = {"DERVEL-SQL"};
    a.databases = {"msdb"};
    a.weight = 0.02;
    a.idleMin = 20;
    a.idleMax = 60;
    a.lifeMin = 24 * 3600;
    a.lifeMax = 48 * 3600;
    a.batches = {makeBatch({st("EXECUTE msdb.dbo.sp_sqlagent_refresh_job @job_id = @P1", "EXECUTE",
                               L::Cpu, 0.05, 0.3, 2)})};
    return a;
}

DemoApplication warehouseLoad() {
    DemoApplication a;
    a.program = "SSIS-LoadWarehouse";
    a.clientInterface = "OLEDB";
    a.logins = {"etl_loader"};
    a.hosts = {"ETL-01"};
    a.databases = {"Staging"};
    a.weight = 0.04;
    a.idleMin = 30;
    a.idleMax = 300;
    a.lifeMin = 1800;
    a.lifeMax = 4 * 3600;
    a.batches = {
        makeBatch({st("TRUNCATE TABLE stg.Orders", "TRUNCATE TABLE", L::Instant, 0.05, 0.3),
                   st("INSERT INTO stg.Orders WITH (TABLOCK) SELECT o.* FROM Sales.dbo.Orders o "
                      "WHERE o.ModifiedAt >= @LastLoad",
                      "INSERT", L::Write, 10, 60),
                   st("MERGE dw.FactSales AS t USING stg.Orders AS s ON t.OrderId = s.OrderId "
                      "WHEN MATCHED THEN UPDATE SET t.Amount = s.Total WHEN NOT MATCHED THEN "
                      "INSERT (OrderId, Amount) VALUES (s.OrderId, s.Total);",
                      "MERGE", L::Parallel, 10, 60)}),
    };
    return a;
}

DemoApplication excel() {
    DemoApplication a;
    a.program = "Microsoft Office 2016";
    a.clientInterface = "OLEDB";
    a.logins = {"Смирнова", "Васильев"};
    a.ntDomain = "CONTOSO";
    a.hosts = {"ФИНОТДЕЛ-03", "ФИНОТДЕЛ-05"};
    a.databases = {"Reporting"};
    a.weight = 0.05;
    a.idleMin = 60;
    a.idleMax = 400;
    a.lifeMin = 300;
    a.lifeMax = 3600;
    a.batches = {
        makeBatch({st("SELECT * FROM \"Reporting\".\"dbo\".\"vSalesByManager\"", "SELECT",
                      L::Network, 8, 45)}),
    };
    return a;
}

DemoCatalog build() {
    DemoCatalog c;
    c.applications = {oneC(),      webShop(),   billing(),      managementStudio(),
                      reporting(), agentJobs(), agentService(), warehouseLoad(),
                      excel()};
    c.databases = {"Бухгалтерия", "WebShop", "Reporting", "Staging"};
    c.systemTasks = {{13, "TASK MANAGER", "background", "ONDEMAND_TASK_QUEUE"},
                     {14, "TASK MANAGER", "background", "ONDEMAND_TASK_QUEUE"},
                     {15, "BRKR EVENT HNDLR", "background", "BROKER_EVENTHANDLER"},
                     {16, "BRKR TASK", "background", "BROKER_TRANSMITTER"},
                     {17, "GHOST CLEANUP", "background", "SLEEP_TASK"},
                     {18, "UNKNOWN TOKEN", "background", "SP_SERVER_DIAGNOSTICS_SLEEP"},
                     {19, "TRACE QUEUE TASK", "background", "SQLTRACE_INCREMENTAL_FLUSH_SLEEP"}};
    return c;
}

} // namespace

DemoBatch makeBatch(std::vector<DemoStatement> statements, bool transactional) {
    DemoBatch b;
    b.transactional = transactional;
    std::size_t at = 0; // UTF-16 code units so far
    for (std::size_t i = 0; i < statements.size(); ++i) {
        if (i) {
            b.text += "\r\n";
            at += 2;
        }
        const std::size_t length = utf::utf16Length(statements[i].text);
        b.startOffsets.push_back(static_cast<int>(2 * at));
        b.endOffsets.push_back(i + 1 == statements.size() ? -1
                                                          : static_cast<int>(2 * (at + length)));
        b.text += statements[i].text;
        at += length;
    }
    b.statements = std::move(statements);
    return b;
}

const DemoCatalog& demoCatalog() {
    static const DemoCatalog catalog = build();
    return catalog;
}

} // namespace testserver
