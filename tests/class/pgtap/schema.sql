-- The schema as two runs of typing-drill-class init leave it, with the roles its other commands made.
BEGIN;
SELECT plan(10);

SELECT tables_are('typing_drill',
    ARRAY['layout', 'classes', 'pupils', 'runs', 'run_ends', 'keys']);
-- The drill writes these columns by name: a rename would lose every pupil's runs.
SELECT columns_are('typing_drill', 'runs',
    ARRAY['uuid', 'login', 'started', 'utc_offset_minutes', 'mode']);
SELECT columns_are('typing_drill', 'run_ends',
    ARRAY['run', 'login', 'ended', 'ended_by', 'ticks', 'speed']);
SELECT columns_are('typing_drill', 'keys',
    ARRAY['run', 'login', 'n', 'letter', 'key_code', 'correct', 'press_ms', 'release_ms']);

SELECT set_eq(
    $$SELECT relname::text FROM pg_class
      WHERE relnamespace = 'typing_drill'::regnamespace AND relkind = 'r' AND relrowsecurity$$,
    ARRAY['classes', 'pupils', 'runs', 'run_ends', 'keys'],
    'row-level security guards every table but the layout');
SELECT results_eq('SELECT version FROM typing_drill.layout', ARRAY[1],
    'one layout row, version 1, after init twice');

SELECT set_eq(
    $$SELECT m.rolname::text FROM pg_auth_members a
      JOIN pg_roles m ON m.oid = a.member JOIN pg_roles g ON g.oid = a.roleid
      WHERE g.rolname = 'typing_drill_teachers'$$,
    ARRAY['teacher_a', 'teacher_b'], 'the teachers are in the teachers'' group');
SELECT set_eq(
    $$SELECT m.rolname::text FROM pg_auth_members a
      JOIN pg_roles m ON m.oid = a.member JOIN pg_roles g ON g.oid = a.roleid
      WHERE g.rolname = 'typing_drill_pupils'$$,
    ARRAY['pupil_a001', 'pupil_a002', 'pupil_b001'], 'each pupil''s login is in the pupils'' group');
-- None of them may make roles, bypass the policies or do what only the admin does.
SELECT set_eq(
    $$SELECT rolname::text FROM pg_roles
      WHERE rolname IN ('typing_drill_teachers', 'typing_drill_pupils', 'teacher_a', 'pupil_a001')
        AND NOT (rolsuper OR rolcreaterole OR rolcreatedb OR rolbypassrls OR rolreplication)$$,
    ARRAY['typing_drill_teachers', 'typing_drill_pupils', 'teacher_a', 'pupil_a001'],
    'the groups, teachers and pupils hold no special attribute');
SELECT results_eq(
    $$SELECT concat_ws(' ', name, class, login) COLLATE "default" FROM typing_drill.pupils
      ORDER BY student_number$$,
    ARRAY['张三 一班 pupil_a001', '李四 一班 pupil_a002', '王五 二班 pupil_b001'],
    'the rosters'' pupils are in their classes');

SELECT * FROM finish();
ROLLBACK;
