-- Creates the database on the server engine and prepares it: after these first two batches this
-- is the same script as PAXSQLN.sql, which prepares a database that exists already.
CREATE DATABASE brindlepax
GO
USE brindlepax
GO
