/*
 * Moves every generator <TABLE>GEN past the highest ISN of its table, so
 * that rows loaded with explicit keys do not collide with keys the insert
 * triggers hand out later. Never moves a generator backwards. Safe to run
 * any number of times.
 */

SET TERM ^ ;

EXECUTE BLOCK AS
DECLARE VARIABLE TBL VARCHAR(63);
DECLARE VARIABLE GEN VARCHAR(63);
DECLARE VARIABLE MAX_ISN BIGINT;
DECLARE VARIABLE CUR BIGINT;
BEGIN
  FOR SELECT TRIM(R.RDB$RELATION_NAME), TRIM(G.RDB$GENERATOR_NAME)
        FROM RDB$RELATIONS R
        JOIN RDB$GENERATORS G ON G.RDB$GENERATOR_NAME = TRIM(R.RDB$RELATION_NAME) || 'GEN'
        WHERE COALESCE(R.RDB$SYSTEM_FLAG, 0) = 0
          AND R.RDB$VIEW_BLR IS NULL
          AND EXISTS (SELECT 1 FROM RDB$RELATION_FIELDS F
                       WHERE F.RDB$RELATION_NAME = R.RDB$RELATION_NAME
                         AND F.RDB$FIELD_NAME = 'ISN')
        INTO :TBL, :GEN
  DO
  BEGIN
    EXECUTE STATEMENT 'SELECT COALESCE(MAX(ISN), 0) FROM "' || TBL || '"' INTO :MAX_ISN;
    EXECUTE STATEMENT 'SELECT GEN_ID("' || GEN || '", 0) FROM RDB$DATABASE' INTO :CUR;
    IF (MAX_ISN > CUR) THEN
      EXECUTE STATEMENT 'SELECT GEN_ID("' || GEN || '", ' || (MAX_ISN - CUR) || ') FROM RDB$DATABASE'
        INTO :CUR;
  END
END^

SET TERM ; ^

COMMIT;
