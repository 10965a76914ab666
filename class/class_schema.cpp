#include "class_schema.h"

#include "pg_connection.h"

namespace classSchema {

namespace {

constexpr std::string_view marker = "typing-drill class history";

// Pupils' logins add runs, their ends and keys, and read their own; what is stored stays as it was
// sent (no update, no delete: a run's end is a row of its own). A run's counts and figures are
// always those of its keys. Teachers read the pupils of their own classes. The database's owner
// (the school's admin) manages classes, teachers and pupils, and bypasses these policies.
constexpr std::string_view version1 = R"sql(
CREATE TABLE typing_drill.layout (version integer NOT NULL);

CREATE TABLE typing_drill.classes (
    name text PRIMARY KEY CHECK (length(name) BETWEEN 1 AND 40),
    -- The teacher's login role.
    teacher name NOT NULL
);

CREATE TABLE typing_drill.pupils (
    -- 学号: ASCII letters and digits, unique whatever their case; short enough to name the
    -- pupil's learner in a drill's own history.
    student_number text PRIMARY KEY CHECK (student_number ~ '^[0-9A-Za-z]{1,20}$'),
    name text NOT NULL CHECK (length(name) BETWEEN 1 AND 20),
    class text NOT NULL REFERENCES typing_drill.classes (name) ON UPDATE CASCADE,
    -- The pupil's login role, 'pupil_' and the 学号 in lower case.
    login name NOT NULL UNIQUE CHECK (login = 'pupil_' || lower(student_number))
);
CREATE INDEX pupils_by_class ON typing_drill.pupils (class);

CREATE TABLE typing_drill.runs (
    uuid uuid PRIMARY KEY,
    login name NOT NULL DEFAULT current_user
        REFERENCES typing_drill.pupils (login) ON DELETE CASCADE,
    started timestamptz NOT NULL,
    -- The offset of the pupil's clock from UTC when the run started, as the drill records it.
    utc_offset_minutes smallint NOT NULL CHECK (utc_offset_minutes BETWEEN -840 AND 840),
    mode text NOT NULL CHECK (mode IN ('random', 'weak')),
    UNIQUE (uuid, login)
);
CREATE INDEX runs_by_login ON typing_drill.runs (login, started);

CREATE TABLE typing_drill.run_ends (
    run uuid PRIMARY KEY,
    login name NOT NULL DEFAULT current_user,
    ended timestamptz NOT NULL,
    ended_by text NOT NULL CHECK (ended_by IN ('restart', 'exit', 'interrupted')),
    -- The run's length in 100 ms ticks and the speed the drill last showed, in keys per minute.
    ticks bigint NOT NULL CHECK (ticks >= 0),
    speed real NOT NULL CHECK (speed >= 0 AND speed < 'Infinity'),
    FOREIGN KEY (run, login) REFERENCES typing_drill.runs (uuid, login) ON DELETE CASCADE
);

CREATE TABLE typing_drill.keys (
    run uuid NOT NULL,
    login name NOT NULL DEFAULT current_user,
    n integer NOT NULL CHECK (n >= 1),
    letter char(1) NOT NULL CHECK (letter BETWEEN 'A' AND 'Z'),
    key_code smallint NOT NULL CHECK (key_code BETWEEN 0 AND 255),
    correct boolean NOT NULL,
    -- Milliseconds from the letter's showing to the key's press (negative: typed ahead) and release.
    press_ms integer NOT NULL,
    release_ms integer NOT NULL,
    PRIMARY KEY (run, n),
    FOREIGN KEY (run, login) REFERENCES typing_drill.runs (uuid, login) ON DELETE CASCADE
);
CREATE INDEX keys_by_login ON typing_drill.keys (login, letter);

-- The logins of the pupils the logged-in teacher teaches. It reads past the policies below (it runs
-- as the schema's owner, hence session_user), so that a teacher's policies do not nest one table's
-- policy in another's.
CREATE FUNCTION typing_drill.taught_logins() RETURNS SETOF name
    LANGUAGE sql STABLE SECURITY DEFINER SET search_path = pg_catalog, pg_temp
    AS $$ SELECT p.login FROM typing_drill.pupils p JOIN typing_drill.classes c ON c.name = p.class
          WHERE c.teacher = session_user $$;
REVOKE ALL ON FUNCTION typing_drill.taught_logins() FROM PUBLIC;

REVOKE ALL ON ALL TABLES IN SCHEMA typing_drill FROM PUBLIC;
GRANT USAGE ON SCHEMA typing_drill TO typing_drill_teachers, typing_drill_pupils;
GRANT EXECUTE ON FUNCTION typing_drill.taught_logins() TO typing_drill_teachers;

GRANT SELECT ON typing_drill.layout, typing_drill.pupils TO typing_drill_pupils;
GRANT SELECT, INSERT ON typing_drill.runs, typing_drill.run_ends, typing_drill.keys
    TO typing_drill_pupils;
GRANT SELECT ON typing_drill.layout, typing_drill.classes, typing_drill.pupils, typing_drill.runs,
    typing_drill.run_ends, typing_drill.keys TO typing_drill_teachers;

ALTER TABLE typing_drill.classes ENABLE ROW LEVEL SECURITY;
ALTER TABLE typing_drill.pupils ENABLE ROW LEVEL SECURITY;
ALTER TABLE typing_drill.runs ENABLE ROW LEVEL SECURITY;
ALTER TABLE typing_drill.run_ends ENABLE ROW LEVEL SECURITY;
ALTER TABLE typing_drill.keys ENABLE ROW LEVEL SECURITY;

CREATE POLICY own_class ON typing_drill.classes FOR SELECT TO typing_drill_teachers
    USING (teacher = current_user);
CREATE POLICY taught ON typing_drill.pupils FOR SELECT TO typing_drill_teachers
    USING (login IN (SELECT typing_drill.taught_logins()));
CREATE POLICY oneself ON typing_drill.pupils FOR SELECT TO typing_drill_pupils
    USING (login = current_user);

CREATE POLICY taught ON typing_drill.runs FOR SELECT TO typing_drill_teachers
    USING (login IN (SELECT typing_drill.taught_logins()));
CREATE POLICY own_read ON typing_drill.runs FOR SELECT TO typing_drill_pupils
    USING (login = current_user);
CREATE POLICY own_add ON typing_drill.runs FOR INSERT TO typing_drill_pupils
    WITH CHECK (login = current_user);

CREATE POLICY taught ON typing_drill.run_ends FOR SELECT TO typing_drill_teachers
    USING (login IN (SELECT typing_drill.taught_logins()));
CREATE POLICY own_read ON typing_drill.run_ends FOR SELECT TO typing_drill_pupils
    USING (login = current_user);
CREATE POLICY own_add ON typing_drill.run_ends FOR INSERT TO typing_drill_pupils
    WITH CHECK (login = current_user);

CREATE POLICY taught ON typing_drill.keys FOR SELECT TO typing_drill_teachers
    USING (login IN (SELECT typing_drill.taught_logins()));
CREATE POLICY own_read ON typing_drill.keys FOR SELECT TO typing_drill_pupils
    USING (login = current_user);
CREATE POLICY own_add ON typing_drill.keys FOR INSERT TO typing_drill_pupils
    WITH CHECK (login = current_user);
)sql";

std::string_view stepTo(int version)
{
    switch (version) {
    case 1:
        return version1;
    default:
        return {};
    }
}

// Makes a group role unless the server has it already (another database may have made it).
std::string ensureGroupRole(PgConnection &db, std::string_view role)
{
    std::string error;
    const PgResult found =
        db.exec("SELECT 1 FROM pg_roles WHERE rolname = $1", {std::string(role)});
    if (!found.ok())
        return found.error();
    if (found.rows() == 0
        && !db.run("CREATE ROLE " + db.quotedIdentifier(std::string(role)) + " NOLOGIN", error))
        return error;
    return {};
}

} // namespace

int installedVersion(PgConnection &db, std::string &error)
{
    const PgResult schema =
        db.exec("SELECT obj_description(oid, 'pg_namespace') FROM pg_namespace WHERE nspname = "
                "'typing_drill'");
    if (!schema.ok()) {
        error = schema.error();
        return -1;
    }
    if (schema.rows() == 0)
        return 0;
    if (schema.value(0, 0) != std::string(marker))
        return -1;
    const PgResult version = db.exec("SELECT max(version) FROM typing_drill.layout");
    if (!version.ok()) {
        error = version.error();
        return -1;
    }
    return std::stoi(version.text(0, 0).empty() ? "0" : version.text(0, 0));
}

std::string createOrUpgrade(PgConnection &db)
{
    std::string error;
    const int installed = installedVersion(db, error);
    if (!error.empty())
        return error;
    if (installed < 0)
        return "数据库里的 typing_drill 不是本程序的，没有改动。"
               "The schema typing_drill in this database is not this program's; nothing was "
               "changed.";
    if (installed > currentVersion)
        return "数据库的版本比本程序新，没有改动。The database was set up by a newer version of "
               "this program; nothing was changed.";
    if (installed == currentVersion)
        return {};
    for (std::string_view role : {teachersRole, pupilsRole})
        if (std::string failed = ensureGroupRole(db, role); !failed.empty())
            return failed;
    if (installed == 0
        && (!db.run("CREATE SCHEMA typing_drill", error)
            || !db.run("COMMENT ON SCHEMA typing_drill IS " + db.quotedLiteral(std::string(marker)),
                       error)))
        return error;
    for (int to = installed + 1; to <= currentVersion; ++to)
        if (!db.run(std::string(stepTo(to)), error))
            return error;
    if (!db.run("DELETE FROM typing_drill.layout", error)
        || !db.run("INSERT INTO typing_drill.layout VALUES ($1)", error,
                   {std::to_string(currentVersion)}))
        return error;
    return {};
}

} // namespace classSchema
