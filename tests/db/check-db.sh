#!/usr/bin/env bash
# Builds the demo database in both character sets with scripts/make-db and
# runs the statements the terminals and the server send against it.
#
#   tests/db/check-db.sh [--keep]
#
# Needs Firebird's isql (isql-fb or isql). Exit status 0 when every check
# passes. With --keep the databases are left in the temporary directory.

set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
make_db="$here/../../scripts/make-db"

keep=0
[ "${1:-}" = "--keep" ] && keep=1

isql=""
for cand in "${ISQL:-}" isql-fb /opt/firebird/bin/isql isql; do
    [ -n "$cand" ] || continue
    exe=$(command -v "$cand" 2>/dev/null) || continue
    if "$exe" -z -q </dev/null 2>&1 | grep -qi firebird; then
        isql=$exe
        break
    fi
done
[ -n "$isql" ] || { echo "Firebird isql not found (scripts/install-deps installs it)"; exit 1; }

work=$(mktemp -d)
if [ $keep -eq 0 ]; then
    trap 'rm -rf "$work"' EXIT
fi

failures=0
checks=0

# sql DB STATEMENTS: runs the statements, prints the values of the result
# columns one per line (SET LIST ON output without the column names).
sql() {
    local db=$1
    shift
    printf 'SET LIST ON;\n%s\n' "$*" >"$work/q.sql"
    "$isql" -q -ch UTF8 -user SYSDBA "$db" -i "$work/q.sql" 2>&1 \
        | awk 'NF { if ($0 ~ /^(Statement failed|SQLSTATE|Dynamic SQL|-)/) { print "ERROR: " $0; next }
                    sub(/^[^ ]+ +/, ""); sub(/ +$/, ""); print }'
}

# expect NAME ACTUAL WANTED
expect() {
    checks=$((checks + 1))
    if [ "$2" == "$3" ]; then
        echo "ok   $1"
    else
        failures=$((failures + 1))
        echo "FAIL $1"
        echo "     got:    $(printf '%s' "$2" | tr '\n' '|')"
        echo "     wanted: $(printf '%s' "$3" | tr '\n' '|')"
    fi
}

lookup() {
    # the goods look-up by code, as the terminal builds it
    local c=$1
    echo "SELECT N_KLPREC.ISN, N_KLPREC.NODOKLIS, N_KLPREC.GNOS PRECES_NOS, N_KLPREC.ISSERTIF1, PARDCENA1, PARDCENA2, PARDCENA3, PARDCENA4, PARDCENA5, PARDCENA6, PARDCENA7, PARDCENA8, PARDCENA9, PARDCENA10, PARDCENA11, PARDCENA12, PARDCENA13, PARDCENA14, PARDCENA15, PARDCENA16, N_KLPREC.PAKALPOJ, N_KLPREC.PASTAVIGATLAID, N_KLPREC.ISPRGRUPA, N_KLPREC.ISPRKLIENT, N_KLPREC.NEAKTIVA, N_KLPREC.MERVIENIBA, N_PRGRUP.GNOS GRUPAS_NOS FROM N_KLPREC, N_PRGRUP WHERE N_KLPREC.ISPRGRUPA = N_PRGRUP.ISN AND (ARTIKULS='$c' OR ARTIKULS2='$c' OR ARTIKULS3='$c' OR ARTIKULS4='$c' OR ARTIKULS5='$c' OR ARTIKULS6='$c') ;"
}

spec_dated() {
    echo "SELECT ISN, CENA_1, ATLAIDE, FLAG FROM O_SPECCENAS WHERE ISPRECE=$1 AND (O_SPECCENAS.KLIENTNODALAFLAG = 1 OR O_SPECCENAS.KLIENTNODALAFLAG IS NULL) AND ISKLIENT = $2 AND DAT_NO<=CURRENT_DATE AND DAT_LIDZ>=CURRENT_DATE AND DAT_NO!='01.01.1900' AND DAT_LIDZ!='31.12.3000' ORDER BY 3 DESC, 1 DESC;"
}

spec_always() {
    echo "SELECT ISN, CENA_1, ATLAIDE, FLAG FROM O_SPECCENAS WHERE ISPRECE=$1 AND (O_SPECCENAS.KLIENTNODALAFLAG = 1 OR O_SPECCENAS.KLIENTNODALAFLAG IS NULL) AND ISKLIENT = $2 AND ((DAT_NO='01.01.1900' AND DAT_LIDZ='31.12.3000') OR (DAT_NO IS NULL AND DAT_LIDZ IS NULL)) ORDER BY ISN DESC;"
}

scan() {
    echo "SELECT FIRST 1 $1.NR_PAVADZ FROM $1 WHERE $1.NR_PAVADZ SIMILAR TO '[0-9]+' ORDER BY $1.NR_PAVADZ DESC;"
}

check_db() {
    local cs=$1 db="$work/demo-$1.fdb"
    echo "== $cs"
    "$make_db" "$db" --charset "$cs" --demo >/dev/null

    expect "character set" "$(sql "$db" "SELECT RDB\$CHARACTER_SET_NAME FROM RDB\$DATABASE;")" "$cs"
    expect "first waybill total is not whole" \
        "$(sql "$db" "SELECT FIRST 1 KOPSUMMA FROM O_PAVADZ;")" "12.35000000000000"

    expect "code in ARTIKULS" "$(sql "$db" "$(lookup 4750000000011)" | head -1)" "1"
    expect "code only in ARTIKULS4" "$(sql "$db" "$(lookup 4750000000059)" | head -1)" "5"
    expect "code only in ARTIKULS5" "$(sql "$db" "$(lookup 4750000000066)" | head -1)" "6"
    expect "code in ARTIKULS6" "$(sql "$db" "$(lookup KART2)" | head -1)" "20"
    expect "scale goods 12345" "$(sql "$db" "$(lookup 12345)" | sed -n '1p;26p')" $'13\nkg'
    expect "code with an apostrophe" "$(sql "$db" "$(lookup "ON''200")" | head -1)" "28"
    expect "goods without a group row are not found" "$(sql "$db" "$(lookup 4750000000295)")" ""
    expect "unknown code" "$(sql "$db" "$(lookup 999)")" ""
    expect "Latvian letters" "$(sql "$db" "$(lookup 4750000000066)" | sed -n '3p;27p')" \
        $'Skābais krējums 20% 400 g\nPiena produkti'
    expect "Latvian letters (partner)" "$(sql "$db" "SELECT GNOS FROM N_KLIENT WHERE ISN = 5;")" \
        'SIA "Ķekavas gaļa"'
    expect "VAT edge goods" \
        "$(sql "$db" "SELECT ISN || '=' || NODOKLIS FROM N_KLPREC WHERE ISN BETWEEN 15 AND 18 ORDER BY ISN;")" \
        $'15=0.5000000000000000\n16=100.0000000000000\n17=100.5000000000000\n18=0.000000000000000'
    expect "sixteen different prices" \
        "$(sql "$db" "SELECT COUNT(*) FROM N_KLPREC WHERE PARDCENA1 < PARDCENA2 AND PARDCENA15 < PARDCENA16;")" "32"
    expect "deposit container" \
        "$(sql "$db" "SELECT ISDEPOZITATARA, (SELECT DEPOZITATARADAUDZUMS FROM N_KLPREC D WHERE D.ISN = N_KLPREC.ISDEPOZITATARA) FROM N_KLPREC WHERE ISN = 8;")" \
        $'10\n20.00000000000000'

    expect "special price, dated beats unlimited" "$(sql "$db" "$(spec_dated 1 6)" | head -2)" \
        $'2\n0.7900000000000000'
    expect "special price, unlimited (NULL dates), higher ISN" "$(sql "$db" "$(spec_always 2 6)" | head -2)" \
        $'4\n1.020000000000000'
    expect "special price, unlimited 1900/3000" "$(sql "$db" "$(spec_always 4 6)" | head -2)" \
        $'6\n0.9500000000000000'
    expect "special price, expired" "$(sql "$db" "$(spec_dated 3 6)$(spec_always 3 6)")" ""
    expect "special price, other partner flag" "$(sql "$db" "$(spec_dated 13 6)$(spec_always 13 6)")" ""
    expect "special price, two dated" "$(sql "$db" "$(spec_dated 24 6)" | head -1)" "9"

    expect "generator read" "$(sql "$db" "SELECT GEN_ID(O_PRECEGEN,0) ISN FROM N_ISI;")" "14"
    expect "line insert, key and total" "$(sql "$db" \
        "INSERT INTO O_PRECE (ISPRECE, NODOKLIS, ISPAVADZ, ISSERTIF, CENA, PARD_CENA, DAUDZUMS, ATLAIDE, VALUTA, VAL_KURSS) VALUES (3, 21, 1, 1, 2.5, 3.1, 2, 0, '', 1);
         SELECT GEN_ID(O_PRECEGEN,0) ISN FROM N_ISI;
         SELECT MAX(ISN) FROM O_PRECE;
         SELECT KOPSUMMA FROM O_PAVADZ WHERE ISN = 1;
         DELETE FROM O_PRECE WHERE ISN=15;
         SELECT KOPSUMMA FROM O_PAVADZ WHERE ISN = 1;
         ROLLBACK;")" $'15\n15\n17.35000000000000\n12.35000000000000'
    expect "totals of the other kinds" "$(sql "$db" \
        "INSERT INTO O_PARPRC (ISPRECE, NODOKLIS, ISPARVPAV, ISSERTIF, CENA, PARD_CENA, DAUDZUMS) VALUES (1, 12, 3, 1, 1.5, 1, 2);
         INSERT INTO O_PASPRC (ISPRECE, NODOKLIS, ISPASPAV, ISSERTIF, CENA, DAUDZUMS, ATLAIDE, APSTIPRIN_DAUDZ, ATKR_DAUDZ) VALUES (1, 12, 3, 1, 2, 1.5, 0, 1.5, 0);
         INSERT INTO O_PRCOUT (ISPRECE, NODOKLIS, ISPAVOUT, CENA, DAUDZUMS, PIECENOJ, ISSERTIF) VALUES (1, 12, 2, 3, 1, 0, 1);
         SELECT KOPSUMMA FROM O_PARPAV WHERE ISN = 3;
         SELECT KOPSUMMA FROM O_PASPAV WHERE ISN = 3;
         SELECT KOPSUMMA FROM O_PAVOUT WHERE ISN = 2;
         ROLLBACK;")" $'11.90000000000000\n16.38000000000000\n9.050000000000001'

    expect "UPDATETEKATLIK on an existing row" "$(sql "$db" \
        "EXECUTE PROCEDURE UPDATETEKATLIK(1, 2, 3.5, 'F', 1);
         SELECT SUM(ATLIKUMS) ATLIKUMS FROM O_TEKATLIK WHERE O_TEKATLIK.ISPRECE = 1 AND O_TEKATLIK.ISNODALA = 2 AND O_TEKATLIK.NELEGALIZ = 'F';
         SELECT SUM(ATLIKUMS) ATLIKUMS FROM O_TEKATLIK WHERE O_TEKATLIK.ISPRECE = 1 AND O_TEKATLIK.ISNODALA = 2;
         ROLLBACK;")" $'35.50000000000000\n38.50000000000000'
    expect "UPDATETEKATLIK creates the row" "$(sql "$db" \
        "EXECUTE PROCEDURE UPDATETEKATLIK(30, 5, -2, '', 0);
         SELECT NELEGALIZ || ' ' || ATLIKUMS FROM O_TEKATLIK WHERE ISPRECE = 30 AND ISNODALA = 5;
         ROLLBACK;")" "F -2.000000000000000"

    expect "certificates with stock" \
        "$(sql "$db" "select * from PRECVALIDSERTLIST(1, 2, 0, 1, CURRENT_DATE);")" \
        $'2\nLV-PIENS 2025/01\n25.00000000000000'
    expect "certificates, all valid" \
        "$(sql "$db" "select ISSERTIF from PRECVALIDSERTLIST(1, 2, 0, 0, CURRENT_DATE);")" $'4\n2'
    expect "certificates, one" \
        "$(sql "$db" "select ISSERTIF, ATLIKUMS from PRECVALIDSERTLIST(1, 3, 2, 0, CURRENT_DATE);")" \
        $'2\n7.000000000000000'
    expect "certificates, old date" \
        "$(sql "$db" "select ISSERTIF from PRECVALIDSERTLIST(1, 2, 0, 1, '15.08.2023');")" "3"
    expect "certified stock" "$(sql "$db" "select ATLIKUMS from PRECVALIDSERT(1, 2, 2, CURRENT_DATE);")" \
        "25.00000000000000"
    expect "certified stock, expired" "$(sql "$db" "select ATLIKUMS from PRECVALIDSERT(1, 2, 3, CURRENT_DATE);")" \
        "0.000000000000000"
    expect "certified stock, nothing" "$(sql "$db" "select ATLIKUMS from PRECVALIDSERT(99, 2, 2, CURRENT_DATE);")" \
        "0.000000000000000"

    expect "department design SQL" "$(sql "$db" \
        "SELECT N_DEPART.ISN, N_DEPART.GNOS NODALA FROM N_DEPART WHERE N_DEPART.ISN>1 AND (FLAG_3D IS NULL OR FLAG_3D='' OR FLAG_3D='F') ORDER BY N_DEPART.GNOS;" \
        | sed -n '1~2p' | tr '\n' ' ')" "4 2 3 5 7 "
    expect "department list of a user" "$(sql "$db" \
        "SELECT N_DEPART.ISN, N_DEPART.GNOS NODALA FROM N_DEPART WHERE (N_DEPART.FLAG_3D IS NULL OR N_DEPART.FLAG_3D='' OR N_DEPART.FLAG_3D='F')  AND POSITION(',' || N_DEPART.ISN || ',' IN CAST(',3,4,6,' AS VARCHAR(8191))) > 0  ORDER BY N_DEPART.GNOS;" \
        | sed -n '1~2p' | tr '\n' ' ')" "4 3 "
    expect "promotions" "$(sql "$db" \
        "SELECT O_PARCPV.AKCIJA_NO, O_PARCPV.AKCIJA_LIDZ, O_PARCPR.CENA_UZ FROM O_PARCPV, O_PARCPR WHERE O_PARCPV.ISN = O_PARCPR.ISPARCPV AND O_PARCPV.PZ_VEIDS = 1 AND O_PARCPV.ISNODALA=2 AND O_PARCPR.ISPRECE=3 ORDER BY O_PARCPV.AKCIJA_LIDZ DESCENDING;")" \
        $'2020-01-01\n2099-12-31\n1.490000000000000\n2024-06-01\n2024-06-30\n1.590000000000000'
    expect "no promotions" "$(sql "$db" \
        "SELECT O_PARCPV.AKCIJA_NO FROM O_PARCPV, O_PARCPR WHERE O_PARCPV.ISN = O_PARCPR.ISPARCPV AND O_PARCPV.PZ_VEIDS = 1 AND O_PARCPV.ISNODALA=3 AND O_PARCPR.ISPRECE=3;")" ""

    expect "order number scan" "$(sql "$db" "$(scan O_PASPAV)")" "9"
    expect "write-out number scan" "$(sql "$db" "$(scan O_PAVOUT)")" "15"
    expect "inventory number scan" "$(sql "$db" "$(scan O_PRATL_PAV)")" "7"
    expect "department counters" "$(sql "$db" \
        "SELECT '[' || COALESCE(PASUTPZNR_1, '') || ']' FROM N_DEPART WHERE ISN IN (2, 3) ORDER BY ISN;")" $'[41]\n[]'

    expect "goods blocked by an inventory" "$(sql "$db" \
        "SELECT O_PRATL_PAV.ISN FROM O_PRATL_PAV, O_PRATL_PRC WHERE O_PRATL_PAV.ISN = O_PRATL_PRC.ISPRATLPAV AND O_PRATL_PAV.ISNODALA = 2 AND O_PRATL_PRC.ISPRECE = 5 AND O_PRATL_PAV.DATUMS>=CURRENT_DATE;")" "1"
    expect "goods not blocked" "$(sql "$db" \
        "SELECT O_PRATL_PAV.ISN FROM O_PRATL_PAV, O_PRATL_PRC WHERE O_PRATL_PAV.ISN = O_PRATL_PRC.ISPRATLPAV AND O_PRATL_PAV.ISNODALA = 2 AND O_PRATL_PRC.ISPRECE = 1 AND O_PRATL_PAV.DATUMS>=CURRENT_DATE;")" ""

    expect "last receipt price" "$(sql "$db" \
        "SELECT FIRST 1 O_PAVADZ.ISN, DAT_SANEM DATUMS, PARD_CENA LAUKS FROM O_PRECE, O_PAVADZ WHERE O_PRECE.ISPAVADZ = O_PAVADZ.ISN AND (O_PAVADZ.DAT_SANEM+0)<='31.12.2024' AND O_PRECE.ISPRECE = 1 AND O_PAVADZ.ISNODALA = 2 ORDER BY DAT_SANEM DESCENDING;")" \
        $'1\n2024-05-02\n1.090000000000000'
    expect "later transfer price" "$(sql "$db" \
        "SELECT FIRST 1 O_PARPAV.ISN, O_PARPAV.DATUMS, PARD_CENA*(1+NODOKLIS/100) LAUKS FROM O_PARPRC, O_PARPAV WHERE O_PARPRC.ISPARVPAV = O_PARPAV.ISN AND (O_PARPAV.DATUMS+0)<='31.12.2024' AND (O_PARPAV.DATUMS+0)>'02.05.2024' AND O_PARPRC.ISPRECE = 1 AND O_PARPAV.ISNODALAUZ = 2 ORDER BY DATUMS DESCENDING, ISN DESCENDING ;" \
        | head -2)" $'1\n2024-05-03'

    expect "receiving check" "$(sql "$db" \
        "SELECT O_PRECE.ISN, O_PRECE.DAUDZUMS - O_PRECE.DAUDZUMS_PARB, O_PRECE.ISPAVADZ FROM O_PAVADZ, O_PRECE WHERE O_PAVADZ.ISN = O_PRECE.ISPAVADZ AND O_PAVADZ.NR_PAVADZ IN ('2','02.05') AND O_PAVADZ.DAT_PAVADZ BETWEEN '01.05.2024' AND '31.05.2024'  AND O_PRECE.ISPRECE=4;")" \
        $'3\n5.000000000000000\n2\n4\n5.000000000000000\n2'
    expect "check updates" "$(sql "$db" \
        "UPDATE O_PRECE SET DAUDZUMS_PARB='10' WHERE ISN='1';
         UPDATE O_PAVADZ SET PICO_NEATRASTIE=COALESCE(PICO_NEATRASTIE, '') || ' 999 Prece Daudzums=1.00' WHERE ISN=1;
         UPDATE O_PARPAV SET DAT_PIEGADE='08.12.2026 10:11:12' WHERE O_PARPAV.ISN = 1;
         SELECT DAUDZUMS_PARB FROM O_PRECE WHERE ISN = 1;
         SELECT PICO_NEATRASTIE FROM O_PAVADZ WHERE ISN = 1;
         SELECT KOPSUMMA FROM O_PAVADZ WHERE ISN = 1;
         ROLLBACK;")" $'10.00000000000000\n999 Prece Daudzums=1.00\n12.35000000000000'

    local lists
    lists=$(sql "$db" "
SELECT COUNT(*) FROM (SELECT O_PAVADZ.ISN, CAST(O_PAVADZ.NR_PAVADZ AS VARCHAR(15)) NR_PAVADZ, O_PAVADZ.DAT_SANEM DATUMS, N_KLIENT.GNOS KLIENTS, N_DEPART.GNOS NODALA FROM O_PAVADZ, N_KLIENT, N_DEPART WHERE O_PAVADZ.ISKLIENT = N_KLIENT.ISN AND O_PAVADZ.ISNODALA = N_DEPART.ISN AND O_PAVADZ.DAT_SANEM BETWEEN '01.01.2000' AND '31.12.2999' ORDER BY O_PAVADZ.DAT_SANEM);
SELECT COUNT(*) FROM (SELECT O_PARPAV.ISN, O_PARPAV.NR_PAVADZ, O_PARPAV.DATUMS, N_DEPART_NO.GNOS NODALA, N_DEPART_UZ.GNOS KLIENTS FROM O_PARPAV, N_DEPART N_DEPART_NO, N_DEPART N_DEPART_UZ WHERE O_PARPAV.ISNODALANO = N_DEPART_NO.ISN AND O_PARPAV.ISNODALAUZ = N_DEPART_UZ.ISN AND O_PARPAV.DATUMS BETWEEN '01.01.2000' AND '31.12.2999' ORDER BY O_PARPAV.DATUMS);
SELECT COUNT(*) FROM (SELECT O_PRATL_PAV.ISN, O_PRATL_PAV.NR_PAVADZ, O_PRATL_PAV.DATUMS, CAST('' AS VARCHAR(250)) KLIENTS, N_DEPART.GNOS NODALA FROM O_PRATL_PAV, N_DEPART WHERE O_PRATL_PAV.ISNODALA = N_DEPART.ISN AND O_PRATL_PAV.DATUMS BETWEEN '01.01.2000' AND '31.12.2999' ORDER BY O_PRATL_PAV.DATUMS);
SELECT COUNT(*) FROM (SELECT O_PASPAV.ISN, O_PASPAV.NR_PAVADZ, O_PASPAV.DATUMS, N_KLIENT.GNOS KLIENTS, N_DEPART.GNOS NODALA FROM O_PASPAV, N_KLIENT, N_DEPART WHERE O_PASPAV.ISKLIENT = N_KLIENT.ISN AND O_PASPAV.ISNODALA = N_DEPART.ISN AND O_PASPAV.DATUMS BETWEEN '01.01.2000' AND '31.12.2999' ORDER BY O_PASPAV.DATUMS);
SELECT COUNT(*) FROM (SELECT O_PAVOUT.ISN, O_PAVOUT.NR_PAVADZ, O_PAVOUT.DATUMS, N_KLIENT.GNOS KLIENTS, N_DEPART.GNOS NODALA FROM O_PAVOUT, N_KLIENT, N_DEPART WHERE O_PAVOUT.ISKLIENT = N_KLIENT.ISN AND O_PAVOUT.ISNODALA = N_DEPART.ISN AND O_PAVOUT.DATUMS BETWEEN '01.01.2000' AND '31.12.2099' ORDER BY O_PAVOUT.DATUMS);")
    expect "document lists" "$(printf '%s\n' "$lists" | tr '\n' ' ')" "6 3 3 3 2 "
    expect "documents of today" "$(sql "$db" "SELECT (SELECT COUNT(*) FROM O_PAVADZ WHERE DAT_SANEM = CURRENT_DATE) || (SELECT COUNT(*) FROM O_PARPAV WHERE DATUMS = CURRENT_DATE) || (SELECT COUNT(*) FROM O_PRATL_PAV WHERE DATUMS = CURRENT_DATE) || (SELECT COUNT(*) FROM O_PASPAV WHERE DATUMS = CURRENT_DATE) || (SELECT COUNT(*) FROM O_PAVOUT WHERE DATUMS = CURRENT_DATE) FROM RDB\$DATABASE;")" "11111"

    expect "line lists" "$(sql "$db" "
SELECT COUNT(*) FROM (SELECT FIRST 1000 N_KLPREC.ARTIKULS, N_KLPREC.GNOS PRECE, O_PRECE.DAUDZUMS, O_PRECE.CENA, O_PAVADZ.KOPSUMMA, O_PRECE.ISN, O_PRECE.ISPRECE FROM O_PAVADZ, O_PRECE, N_KLPREC WHERE O_PAVADZ.ISN = O_PRECE.ISPAVADZ AND O_PRECE.ISPRECE = N_KLPREC.ISN AND O_PRECE.ISPAVADZ = 3 ORDER BY O_PRECE.ISN);
SELECT COUNT(*) FROM (SELECT '   ' ARTIKULS, '   ' PRECE, 0.00 DAUDZUMS, 0.00 CENA, CAST(0.00 AS DOUBLE PRECISION) KOPSUMMA, 0 ISN, 0 ISPRECE FROM O_PRATL_PAV WHERE O_PRATL_PAV.ISN = 1);
SELECT COUNT(*) FROM (SELECT FIRST 1000 N_KLPREC.ARTIKULS, N_KLPREC.GNOS PRECE, O_MEMPRECES.DAUDZUMS, N_KLPREC.PARDCENA1 CENA, 0.00 KOPSUMMA, O_MEMPRECES.ISN, O_MEMPRECES.ISPRECE FROM O_MEMPRECES, N_KLPREC WHERE O_MEMPRECES.ISPRECE = N_KLPREC.ISN ORDER BY O_MEMPRECES.ISN);" | tr '\n' ' ')" "4 1 3 "

    expect "N_ISI2 settings" "$(sql "$db" "SELECT DEK_PREFIX, DEK_ART_SAK, DEK_ART_GAR, DEK_DAUDZ_SAK, DEK_DAUDZ_GAR, DEK_DECIMALZ, ISISERTARATLIK, SHOWSERTATLIK FROM N_ISI2;" | tr '\n' ' ')" \
        "22 3 5 8 5 3 F T "
    expect "users (encoded)" "$(sql "$db" "SELECT GNOS || ' ' || PASWORD FROM O_USERS ORDER BY ISN;")" \
        $'JQTRU 8;>A\nHWYN hwyn@\nQJYVb wj}|{v\nS×RN s÷rnF'
    expect "user look-up" "$(sql "$db" \
        "SELECT GNOS, PASWORD, NODALAS, FULLNAME, ISAGENTS, NODALAS, AIZLIEGTCENAS, NERADITIEPCENU FROM O_USERS WHERE GNOS='HWYN';" | tr '\n' '|')" \
        "HWYN|hwyn@|2,|Anna Kalniņa|2|2,||2||7||T|"
    expect "operation log insert" "$(sql "$db" \
        "INSERT INTO O_OPERACIJAS (TAUSTINS, IEVKODS, IEVDAT, DATUMS, NUMURS, BAZE, ISN_BAZE, PIEZIMES, ISPRECE) VALUES ('J', 'ANNA', CURRENT_TIMESTAMP, CURRENT_DATE, 'Šķūņa ēdiens ā', 'O_PRECE', 15, 'Norvalk', 3);
         SELECT ISN || ' ' || NUMURS FROM O_OPERACIJAS WHERE ISN_BAZE = 15;
         ROLLBACK;")" "4 Šķūņa ēdiens ā"
    expect "new goods insert" "$(sql "$db" \
        "INSERT INTO N_KLPREC (ARTIKULS, GNOS, ISPRGRUPA, NODOKLIS) VALUES ('1234567890123456789012345', 'Jauna prece ŗūķ', 1, 21);
         SELECT GEN_ID(N_KLPRECGEN,0) ISN FROM N_ISI;
         SELECT GNOS FROM N_KLPREC WHERE ARTIKULS='1234567890123456789012345';
         ROLLBACK;")" $'33\nJauna prece ŗūķ'
}

check_db UTF8
check_db WIN1257

echo "== generated goods"
start=$(date +%s.%N)
"$make_db" "$work/goods.fdb" --charset WIN1257 --goods 20000 >/dev/null
end=$(date +%s.%N)
expect "20000 goods" "$(sql "$work/goods.fdb" "SELECT COUNT(*), COUNT(DISTINCT ARTIKULS) FROM N_KLPREC;" | tr '\n' ' ')" "20000 20000 "
expect "generated goods found by code" "$(sql "$work/goods.fdb" "$(lookup 4790000000136)" | sed -n '3p')" "Prece 13"
echo "     (20000 goods in $(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", b - a }') s)"

if [ $keep -eq 1 ]; then
    echo "databases kept in $work"
fi
echo "$checks checks, $failures failed"
[ $failures -eq 0 ]
