-- What each login may do: pupils add and read their own runs and nothing else, teachers read their
-- own classes, anyone else nothing. Each login acts through SET SESSION AUTHORIZATION, as it would
-- after logging in (the teachers' policies look at session_user).
BEGIN;
SELECT plan(49);

-- A run with two keys and its end, sent by the pupil as the drill sends it.
CREATE FUNCTION pg_temp.send_run(pupil text, run uuid) RETURNS void LANGUAGE plpgsql AS $f$
BEGIN
    EXECUTE format('SET SESSION AUTHORIZATION %I', pupil);
    INSERT INTO typing_drill.runs (uuid, started, utc_offset_minutes, mode)
        VALUES (run, '2024-03-01 08:00+08', 480, 'random');
    INSERT INTO typing_drill.keys (run, n, letter, key_code, correct, press_ms, release_ms)
        VALUES (run, 1, 'A', 38, true, 300, 380), (run, 2, 'B', 56, false, 250, 320);
    INSERT INTO typing_drill.run_ends (run, ended, ended_by, ticks, speed)
        VALUES (run, '2024-03-01 08:01+08', 'exit', 600, 2);
    RESET SESSION AUTHORIZATION;
END
$f$;

SELECT lives_ok($$SELECT pg_temp.send_run(p, r) FROM (VALUES
    ('pupil_a001', 'a0010000-0000-4000-8000-000000000001'::uuid),
    ('pupil_a002', 'a0020000-0000-4000-8000-000000000001'::uuid),
    ('pupil_b001', 'b0010000-0000-4000-8000-000000000001'::uuid)) AS s (p, r)$$,
    'each pupil adds a run, its keys and its end under their own login');

-- Statements a login must not get through: the SQLSTATE expected, and what the case is.
CREATE TEMP TABLE refused (who text, statement text, code char(5), what text);
GRANT SELECT ON refused TO PUBLIC;
INSERT INTO refused VALUES
    -- What is stored stays as it was sent, even for its own pupil.
    ('pupil_a001', 'UPDATE typing_drill.runs SET mode = ''weak''', '42501', 'change a run'),
    ('pupil_a001', 'DELETE FROM typing_drill.runs', '42501', 'delete a run'),
    ('pupil_a001', 'UPDATE typing_drill.keys SET correct = true', '42501', 'change a key'),
    ('pupil_a001', 'DELETE FROM typing_drill.keys', '42501', 'delete a key'),
    ('pupil_a001', 'UPDATE typing_drill.run_ends SET speed = 99', '42501', 'change a run''s end'),
    ('pupil_a001', 'DELETE FROM typing_drill.run_ends', '42501', 'delete a run''s end'),
    -- Rows under a classmate's login, or into a classmate's run.
    ('pupil_a001', $$INSERT INTO typing_drill.runs (uuid, login, started, utc_offset_minutes, mode)
        VALUES ('a0010000-0000-4000-8000-000000000009', 'pupil_a002', now(), 0, 'random')$$,
        '42501', 'add a run as a classmate'),
    ('pupil_a001', $$INSERT INTO typing_drill.keys (run, login, n, letter, key_code, correct,
        press_ms, release_ms) VALUES ('a0020000-0000-4000-8000-000000000001', 'pupil_a002', 3,
        'C', 54, true, 100, 150)$$, '42501', 'add a key as a classmate'),
    ('pupil_a001', $$INSERT INTO typing_drill.run_ends (run, login, ended, ended_by, ticks, speed)
        VALUES ('a0020000-0000-4000-8000-000000000001', 'pupil_a002', now(), 'exit', 1, 1)$$,
        '42501', 'end a classmate''s run'),
    ('pupil_a001', $$INSERT INTO typing_drill.keys (run, n, letter, key_code, correct, press_ms,
        release_ms) VALUES ('a0020000-0000-4000-8000-000000000001', 3, 'C', 54, true, 100, 150)$$,
        '23503', 'add a key of their own to a classmate''s run'),
    -- The admin's tables and powers.
    ('pupil_a001', 'SELECT * FROM typing_drill.classes', '42501', 'read the classes'),
    ('pupil_a001', $$INSERT INTO typing_drill.pupils VALUES ('X1', '某人', '一班', 'pupil_x1')$$,
        '42501', 'add a pupil'),
    ('pupil_a001', $$UPDATE typing_drill.pupils SET class = '二班'$$, '42501', 'change class'),
    ('pupil_a001', 'SELECT typing_drill.taught_logins()', '42501', 'ask whom a teacher teaches'),
    ('pupil_a001', 'DELETE FROM typing_drill.layout', '42501', 'change the layout'),
    ('pupil_a001', 'CREATE ROLE intruder', '42501', 'make a role'),
    -- Teachers read and never write.
    ('teacher_a', $$INSERT INTO typing_drill.runs (uuid, login, started, utc_offset_minutes, mode)
        VALUES ('a0010000-0000-4000-8000-000000000008', 'pupil_a001', now(), 0, 'random')$$,
        '42501', 'add a run for a pupil'),
    ('teacher_a', 'UPDATE typing_drill.runs SET mode = ''weak''', '42501', 'change a run'),
    ('teacher_a', 'DELETE FROM typing_drill.runs', '42501', 'delete a run'),
    ('teacher_a', 'DELETE FROM typing_drill.keys', '42501', 'delete keys'),
    ('teacher_a', 'UPDATE typing_drill.run_ends SET speed = 99', '42501', 'change a run''s end'),
    ('teacher_a', $$INSERT INTO typing_drill.classes VALUES ('三班', 'teacher_a')$$, '42501',
        'add a class'),
    ('teacher_a', $$UPDATE typing_drill.pupils SET class = '一班'$$, '42501',
        'move a pupil into their class'),
    ('teacher_a', $$UPDATE typing_drill.classes SET teacher = 'teacher_a'$$, '42501',
        'take over a class'),
    ('teacher_a', 'CREATE ROLE intruder', '42501', 'make a role'),
    -- A login the tool did not make: not even the schema is open to it.
    ('stranger', 'SELECT * FROM typing_drill.runs', '42501', 'read runs'),
    ('stranger', 'SELECT * FROM typing_drill.pupils', '42501', 'read pupils'),
    ('stranger', 'SELECT * FROM typing_drill.layout', '42501', 'read the layout'),
    ('stranger', $$INSERT INTO typing_drill.runs (uuid, started, utc_offset_minutes, mode)
        VALUES (gen_random_uuid(), now(), 0, 'random')$$, '42501', 'add a run');

CREATE ROLE stranger LOGIN;

CREATE FUNCTION pg_temp.refusal(who text, statement text, code char(5), what text)
    RETURNS text LANGUAGE plpgsql AS $f$
DECLARE
    outcome text;
BEGIN
    EXECUTE format('SET SESSION AUTHORIZATION %I', who);
    outcome := throws_ok(statement, code, NULL, who || ' cannot ' || what);
    RESET SESSION AUTHORIZATION;
    RETURN outcome;
END
$f$;
SELECT pg_temp.refusal(who, statement, code, what) FROM refused;

-- A key sent again (its answer was lost on the way) is let through and stored once.
SET SESSION AUTHORIZATION pupil_a001;
SELECT lives_ok($$INSERT INTO typing_drill.keys (run, n, letter, key_code, correct, press_ms,
    release_ms) VALUES ('a0010000-0000-4000-8000-000000000001', 2, 'B', 56, false, 250, 320)
    ON CONFLICT DO NOTHING$$, 'a key sent twice is accepted');
SELECT results_eq($$SELECT n FROM typing_drill.keys ORDER BY n$$, ARRAY[1, 2],
    'and kept exactly once');

-- Whose rows each login reads, table by table.
RESET SESSION AUTHORIZATION;
CREATE TEMP TABLE readers (who text, expected text[]);
INSERT INTO readers VALUES
    ('pupil_a001', ARRAY['pupil_a001']),
    ('pupil_b001', ARRAY['pupil_b001']),
    ('teacher_a', ARRAY['pupil_a001', 'pupil_a002']),
    ('teacher_b', ARRAY['pupil_b001']);
CREATE FUNCTION pg_temp.reads(who text, source text, expected text[])
    RETURNS text LANGUAGE plpgsql AS $f$
DECLARE
    outcome text;
BEGIN
    EXECUTE format('SET SESSION AUTHORIZATION %I', who);
    outcome := set_eq(format('SELECT DISTINCT login::text FROM typing_drill.%I', source), expected,
        who || ' reads the ' || source || ' of ' || array_to_string(expected, ', ') || ' only');
    RESET SESSION AUTHORIZATION;
    RETURN outcome;
END
$f$;
SELECT pg_temp.reads(who, source, expected)
    FROM readers, unnest(ARRAY['runs', 'run_ends', 'keys', 'pupils']) AS source;

SET SESSION AUTHORIZATION teacher_a;
SELECT results_eq('SELECT name FROM typing_drill.classes', ARRAY['一班'],
    'a teacher sees their own class only');
RESET SESSION AUTHORIZATION;

SELECT * FROM finish();
ROLLBACK;
