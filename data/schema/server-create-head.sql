CREATE DATABASE brindlepax
GO
USE brindlepax
GO
-- Creates the database on the server engine and prepares it: after these first three batches
-- this is the same script as PAXSQLN.sql, which prepares a database that exists already. Large
-- objects that one user writes must be readable by every other user, hence the setting.
ALTER DATABASE brindlepax SET lo_compat_privileges TO on
GO
