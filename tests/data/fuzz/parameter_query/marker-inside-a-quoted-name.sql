PARAMETERS p Text;
SELECT [p] AS [a[p]