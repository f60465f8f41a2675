-- The update of a main database done by hand, set-based, in one transaction:
-- what `vhdb merge` does record by record, for files whose keys do not repeat
-- (those `vhdb demo` makes). bench/run reads it into the sqlcipher shell after
--   PRAGMA key = '...';
--   ATTACH DATABASE 'VHUpdate.mdb' AS upd KEY '...';
--
-- The rules, as merge/walk.cpp and the four table files state them:
-- * Tables in the order Lodges, Issues, Activities, MValues.
-- * A key matches without regard to letter case (the key columns are
--   COLLATE NOCASE, and the left side's collation decides), and a null key
--   part matches a null one: IS, not =.
-- * A found record is overwritten only when the update's stamp falls on a
--   later calendar day; a null stamp on either side leaves it: date(NULL) is
--   NULL, and NULL > x is not true.
-- * An overwrite writes the table's overwrite fields (Lodges and Issues
--   take the update's spelling of F1 and F2; Activities leaves F1 and F6
--   alone); a missing key is added with the table's add fields.
-- * Activities compares F6 through Str(); for the whole numbers these files
--   hold, Str() forms are equal exactly when the numbers are.
-- The updates run before the inserts: with keys that do not repeat in the
-- update, no update record can find a record another one added.

BEGIN;

-- Lodges: key F1, stamp F12.
UPDATE main.Lodges
   SET (F2, F3, F4, F5, F6, F7, F1, F8, F9, F10, F11, F12, F13) =
       (SELECT u.F2, u.F3, u.F4, u.F5, u.F6, u.F7, u.F1, u.F8, u.F9, u.F10, u.F11, u.F12,
               u.F13
          FROM upd.Lodges AS u
         WHERE u.F1 IS main.Lodges.F1)
 WHERE rowid IN (SELECT m.rowid
                   FROM upd.Lodges AS u JOIN main.Lodges AS m ON m.F1 IS u.F1
                  WHERE date(u.F12) > date(m.F12));

INSERT INTO main.Lodges (F1, F2, F3, F4, F5, F6, F7, F8, F9, F10, F11, F12, F13)
SELECT u.F1, u.F2, u.F3, u.F4, u.F5, u.F6, u.F7, u.F8, u.F9, u.F10, u.F11, u.F12, u.F13
  FROM upd.Lodges AS u
 WHERE NOT EXISTS (SELECT 1 FROM main.Lodges AS m WHERE m.F1 IS u.F1)
 ORDER BY u.F1;

-- Issues: key F1, F2, stamp F9.
UPDATE main.Issues
   SET (F2, F3, F4, F5, F6, F7, F1, F8, F9, F10, F11, F12, F13, F14) =
       (SELECT u.F2, u.F3, u.F4, u.F5, u.F6, u.F7, u.F1, u.F8, u.F9, u.F10, u.F11, u.F12,
               u.F13, u.F14
          FROM upd.Issues AS u
         WHERE u.F1 IS main.Issues.F1 AND u.F2 IS main.Issues.F2)
 WHERE rowid IN (SELECT m.rowid
                   FROM upd.Issues AS u
                   JOIN main.Issues AS m ON m.F1 IS u.F1 AND m.F2 IS u.F2
                  WHERE date(u.F9) > date(m.F9));

INSERT INTO main.Issues (F1, F2, F3, F4, F5, F6, F7, F8, F9, F10, F11, F12, F13, F14)
SELECT u.F1, u.F2, u.F3, u.F4, u.F5, u.F6, u.F7, u.F8, u.F9, u.F10, u.F11, u.F12, u.F13,
       u.F14
  FROM upd.Issues AS u
 WHERE NOT EXISTS (SELECT 1 FROM main.Issues AS m WHERE m.F1 IS u.F1 AND m.F2 IS u.F2)
 ORDER BY u.F1;

-- Activities: key F1, F2, F6, stamp F5; an overwrite leaves F1 and F6 alone.
UPDATE main.Activities
   SET (F2, F3, F4, F5) =
       (SELECT u.F2, u.F3, u.F4, u.F5
          FROM upd.Activities AS u
         WHERE u.F1 IS main.Activities.F1 AND u.F2 IS main.Activities.F2
           AND u.F6 IS main.Activities.F6)
 WHERE rowid IN (SELECT m.rowid
                   FROM upd.Activities AS u
                   JOIN main.Activities AS m ON m.F1 IS u.F1 AND m.F2 IS u.F2 AND m.F6 IS u.F6
                  WHERE date(u.F5) > date(m.F5));

INSERT INTO main.Activities (F1, F2, F3, F4, F5, F6)
SELECT u.F1, u.F2, u.F3, u.F4, u.F5, u.F6
  FROM upd.Activities AS u
 WHERE NOT EXISTS (SELECT 1 FROM main.Activities AS m
                    WHERE m.F1 IS u.F1 AND m.F2 IS u.F2 AND m.F6 IS u.F6)
 ORDER BY u.F1;

-- MValues: key IDNUM, ISSUE, stamp LUPDATE; an overwrite writes every field.
UPDATE main.MValues
   SET (IDNUM, ISSUE, CONDITION, LUPDATE, MKTVAL) =
       (SELECT u.IDNUM, u.ISSUE, u.CONDITION, u.LUPDATE, u.MKTVAL
          FROM upd.MValues AS u
         WHERE u.IDNUM IS main.MValues.IDNUM AND u.ISSUE IS main.MValues.ISSUE)
 WHERE rowid IN (SELECT m.rowid
                   FROM upd.MValues AS u
                   JOIN main.MValues AS m ON m.IDNUM IS u.IDNUM AND m.ISSUE IS u.ISSUE
                  WHERE date(u.LUPDATE) > date(m.LUPDATE));

INSERT INTO main.MValues (IDNUM, ISSUE, CONDITION, LUPDATE, MKTVAL)
SELECT u.IDNUM, u.ISSUE, u.CONDITION, u.LUPDATE, u.MKTVAL
  FROM upd.MValues AS u
 WHERE NOT EXISTS (SELECT 1 FROM main.MValues AS m
                    WHERE m.IDNUM IS u.IDNUM AND m.ISSUE IS u.ISSUE)
 ORDER BY u.IDNUM;

COMMIT;
