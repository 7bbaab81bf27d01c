// The built-in instrument: the menu description vornsim uses when no --model file is given.
#include "simmodel.h"

QByteArray TSimModel::DefaultJson()
{
    return R"json({
"model": "V500", "version": "V1.04", "serialNumber": 1234567,
"passcodes": {"safe": 1234, "full": 5678},
"products": {"names": ["APPLES", "PEARS", "PLUMS"], "nameLength": 12},
"allocation": [
  ["OUT1", "1", "SETP1", "SETPTS", "ON", "LOGIC", "NONE", "ALARM", "SETP3", "ALSO", "SETP4", "ALSO"],
  ["OUT2", "2", "SETP2", "SETPTS", "OFF", "LOGIC", "-", "ALARM"],
  ["IN1", "3", "", "", "", "", "", ""],
  ["IN2", "4", "ZERO", "KEY", "ON", "EDGE", "RISE", "DEB", "TARE", "KEY"]
],
"menus": [
 {"reg": "0011", "name": "SETUP", "items": [
  {"reg": "1100", "name": "BUILD", "items": [
   {"reg": "1101", "type": 17, "name": "TYPE", "options": ["STANDRD", "TRADE", "INDUST"]},
   {"reg": "0031", "type": 7, "name": "DP", "perm": 0, "options": ["0", "0.0", "0.00", "0.000"], "value": 2},
   {"reg": "0030", "type": 7, "name": "UNITS", "perm": 0, "options": ["kg", "lb", "t", "g"]},
   {"reg": "002F", "type": 1, "name": "FULLSCAL", "dec": "weight", "units": true, "min": 1, "max": 999999, "value": 300000},
   {"reg": "1104", "type": 3, "name": "E", "min": 1, "max": 100, "value": 1},
   {"reg": "1105", "type": 7, "name": "HI.RES", "options": ["OFF", "ON"]},
   {"reg": "1106", "type": 7, "name": "CABLE", "options": ["4-WIRE", "6-WIRE"], "value": 1}
  ]},
  {"reg": "1200", "name": "OPTIONS", "items": [
   {"reg": "1201", "type": 7, "name": "USE", "perm": 0, "options": ["BASIC", "TRAFFIC"]},
   {"reg": "1202", "type": 1, "name": "RED.DLY", "dec": 1, "suffix": "s", "min": 0, "max": 600, "value": 50, "showIf": {"reg": "1201", "values": [1]}},
   {"reg": "1203", "type": 1, "name": "GRN.DLY", "dec": 1, "suffix": "s", "min": 0, "max": 600, "value": 20, "showIf": {"reg": "1201", "values": [1]}},
   {"reg": "1204", "type": 7, "name": "LIGHTS", "options": ["OFF", "ON"], "showIf": {"reg": "1201", "values": [1]}},
   {"reg": "1205", "type": 7, "name": "FILTER", "options": ["NONE", "2", "4", "8", "16", "32"], "value": 3},
   {"reg": "1206", "type": 4, "name": "MOTION", "dec": "weight", "units": true, "min": 0, "max": 1000, "value": 50},
   {"reg": "1207", "type": 2, "name": "Z.RANGE", "dec": 1, "suffix": "%", "min": -200, "max": 200, "value": -20},
   {"reg": "1208", "type": 12, "name": "Z.TRACK", "options": ["OFF", "0.5D", "1D"]},
   {"reg": "1209", "type": 7, "name": "AUTO.Z", "options": ["OFF", "ON"]},
   {"reg": "1210", "type": 11, "name": "DSP.TST"},
   {"reg": "1211", "type": 15, "name": "FACT.DEF"},
   {"reg": "1212", "type": 20, "name": "DIAG", "value": 4660}
  ]},
  {"reg": "1300", "name": "SERIAL", "items": [
   {"reg": "1310", "name": "SER1", "items": [
    {"reg": "1311", "type": 7, "name": "BAUD", "options": ["2400", "4800", "9600", "19200", "38400", "57600"], "value": 2},
    {"reg": "1312", "type": 7, "name": "BITS", "options": ["N81", "E71", "O71"]},
    {"reg": "1313", "type": 7, "name": "TYPE", "options": ["NONE", "AUTO.LO", "AUTO.HI", "PRINT"], "value": 1},
    {"reg": "1314", "type": 1, "name": "ADDR", "min": 1, "max": 31, "value": 1},
    {"reg": "1315", "type": 1, "name": "TIMEOUT", "dec": 1, "suffix": "s", "min": 1, "max": 100, "value": 20}
   ]},
   {"reg": "1320", "name": "SER2", "items": [
    {"reg": "1321", "type": 7, "name": "BAUD", "options": ["2400", "4800", "9600", "19200", "38400", "57600"], "value": 2},
    {"reg": "1322", "type": 7, "name": "BITS", "options": ["N81", "E71", "O71"]},
    {"reg": "1323", "type": 7, "name": "TYPE", "options": ["NONE", "AUTO.LO", "AUTO.HI", "PRINT"], "value": 3},
    {"reg": "1324", "type": 1, "name": "ADDR", "min": 1, "max": 31, "value": 2},
    {"reg": "1325", "type": 1, "name": "TIMEOUT", "dec": 1, "suffix": "s", "min": 1, "max": 100, "value": 20}
   ]},
   {"reg": "1330", "name": "NETWORK", "items": [
    {"reg": "1331", "type": 18, "name": "IP.ADDR", "value": "192.168.1.50"},
    {"reg": "1332", "type": 18, "name": "NETMASK", "value": "255.255.255.0"},
    {"reg": "1333", "type": 18, "name": "GATEWAY", "value": "192.168.1.1"},
    {"reg": "1334", "type": 5, "name": "PORT", "min": 1, "max": 65535, "value": 2222},
    {"reg": "1335", "type": 7, "name": "DHCP", "options": ["OFF", "ON"]},
    {"reg": "1336", "type": 6, "name": "NAME", "max": 16, "value": "VORN-1"}
   ]}
  ]},
  {"reg": "1400", "name": "SETPTS", "items": [
   {"reg": "1410", "name": "SETP1", "items": [
    {"reg": "1411", "type": 7, "name": "TYPE", "perm": 0, "options": ["NONE", "OVER", "UNDER"], "value": 1},
    {"reg": "1412", "type": 1, "name": "TARGET", "dec": "weight", "units": true, "min": -999999, "max": 999999, "value": 10000, "showIf": {"reg": "1411", "values": [1, 2]}},
    {"reg": "1413", "type": 4, "name": "HYS", "dec": "weight", "units": true, "min": 0, "max": 9999, "value": 100},
    {"reg": "1414", "type": 7, "name": "LOGIC", "options": ["HIGH", "LOW"]},
    {"reg": "1415", "type": 7, "name": "ALARM", "options": ["NONE", "SINGLE", "DOUBLE"]}
   ]},
   {"reg": "1420", "name": "SETP2", "items": [
    {"reg": "1421", "type": 7, "name": "TYPE", "options": ["NONE", "OVER", "UNDER"], "value": 2},
    {"reg": "1422", "type": 1, "name": "TARGET", "dec": "weight", "units": true, "min": -999999, "max": 999999, "value": 20000},
    {"reg": "1423", "type": 4, "name": "HYS", "dec": "weight", "units": true, "min": 0, "max": 9999, "value": 100},
    {"reg": "1424", "type": 7, "name": "LOGIC", "options": ["HIGH", "LOW"]},
    {"reg": "1425", "type": 7, "name": "ALARM", "options": ["NONE", "SINGLE", "DOUBLE"]}
   ]},
   {"reg": "1430", "name": "SETP3", "items": [
    {"reg": "1431", "type": 7, "name": "TYPE", "options": ["NONE", "OVER", "UNDER"]},
    {"reg": "1432", "type": 1, "name": "TARGET", "dec": "weight", "units": true, "min": -999999, "max": 999999, "value": 0},
    {"reg": "1433", "type": 4, "name": "HYS", "dec": "weight", "units": true, "min": 0, "max": 9999, "value": 0},
    {"reg": "1434", "type": 7, "name": "LOGIC", "options": ["HIGH", "LOW"]},
    {"reg": "1435", "type": 7, "name": "ALARM", "options": ["NONE", "SINGLE", "DOUBLE"]}
   ]},
   {"reg": "1440", "name": "SETP4", "items": [
    {"reg": "1441", "type": 7, "name": "TYPE", "options": ["NONE", "OVER", "UNDER"]},
    {"reg": "1442", "type": 1, "name": "TARGET", "dec": "weight", "units": true, "min": -999999, "max": 999999, "value": 0},
    {"reg": "1443", "type": 4, "name": "HYS", "dec": "weight", "units": true, "min": 0, "max": 9999, "value": 0},
    {"reg": "1444", "type": 7, "name": "LOGIC", "options": ["HIGH", "LOW"]},
    {"reg": "1445", "type": 7, "name": "ALARM", "options": ["NONE", "SINGLE", "DOUBLE"]}
   ]}
  ]},
  {"reg": "1500", "name": "PRINT", "items": [
   {"reg": "1501", "type": 6, "name": "HEADER1", "max": 24, "value": "VORN WEIGHING"},
   {"reg": "1502", "type": 6, "name": "HEADER2", "max": 24, "value": ""},
   {"reg": "1503", "type": 6, "name": "FOOTER", "max": 24, "value": "THANK YOU"},
   {"reg": "1504", "type": 1, "name": "COPIES", "min": 1, "max": 9, "value": 1},
   {"reg": "1505", "type": 17, "name": "FORMAT", "options": ["SINGLE", "MULTI", "CUSTOM"]},
   {"reg": "1506", "type": 5, "name": "TICKET", "min": 0, "max": 4294967295, "value": 1}
  ]},
  {"reg": "1600", "name": "CLOCK", "items": [
   {"reg": "1601", "type": 7, "name": "DATE.F", "options": ["DD.MM.YY", "MM.DD.YY", "YY.MM.DD"]},
   {"reg": "1602", "type": 7, "name": "TIME.F", "options": ["24HR", "12HR"]},
   {"reg": "1603", "type": 11, "name": "SET.CLK"}
  ]},
  {"reg": "B100", "name": "PRODUCTS", "items": []},
  {"reg": "1700", "name": "SPECIAL", "items": [
   {"reg": "1701", "type": 6, "name": "TRADE.ID", "perm": 130, "max": 10, "value": "NMI-1234"},
   {"reg": "1702", "type": 3, "name": "CAL.CNT", "perm": 130, "min": 0, "max": 65535, "value": 7},
   {"reg": "1703", "type": 5, "name": "LICENSE", "perm": 131, "min": 0, "max": 4294967295, "value": 3735928559},
   {"reg": "1710", "name": "ADVANCED", "items": [
    {"reg": "1711", "type": 7, "name": "ADC.RATE", "perm": 130, "options": ["10HZ", "40HZ", "80HZ"], "value": 1},
    {"reg": "1712", "type": 3, "name": "GAIN", "perm": 130, "min": 1, "max": 128, "value": 64},
    {"reg": "1713", "type": 1, "name": "OFFSET", "perm": 130, "min": -99999, "max": 99999, "value": -125}
   ]}
  ]}
 ]},
 {"reg": "001F", "name": "OPERATOR", "items": [
  {"reg": "1F10", "name": "SETPOINT", "items": [
   {"ref": "1412"}, {"ref": "1422"}, {"ref": "1432"}, {"ref": "1442"}
  ]},
  {"reg": "1F20", "name": "PRINT", "items": [
   {"ref": "1501"}, {"ref": "1502"}, {"ref": "1504"}
  ]},
  {"reg": "1F30", "name": "ID", "items": [
   {"reg": "1F31", "type": 6, "name": "OPERATOR", "max": 8, "value": "JOE"},
   {"reg": "1F32", "type": 1, "name": "TRUCK", "min": 0, "max": 9999, "value": 0}
  ]}
 ]},
 {"reg": "B101", "name": "PRODUCT", "type": 8, "items": [
  {"reg": "B020", "type": 1, "name": "TARGET", "dec": "weight", "units": true, "min": 0, "max": 999999, "value": 0},
  {"reg": "B021", "type": 1, "name": "PRE.TARE", "dec": "weight", "units": true, "min": 0, "max": 999999, "value": 0}
 ]},
 {"reg": "B102", "name": "CURRENT", "type": 8, "items": [
  {"reg": "B010", "type": 1, "name": "ACTIVE", "min": 1, "max": 20, "value": 1}
 ]}
]
})json";
}
