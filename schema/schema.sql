-- The database the utilities program works on, as far as the program knows
-- it, plus one reference table of the lending application that the program
-- never names (the first-run wipe must leave it alone).
-- Default character set WIN1251; SQL dialect 3.

create table users (
    num       integer not null primary key,
    xuser     varchar(64),
    xmass     varchar(64),
    status    varchar(30),
    expdate   timestamp,
    expdays   integer,
    explogins integer
);
create generator nnusers;

create table barcodes (
    num integer not null primary key,
    bs  integer,
    bp  integer,
    me  varchar(27)
);
create generator nnbarcodes;

create table catalog (
    num     integer not null primary key,
    catalog varchar(1),
    mnt     varchar(1),
    barcod  varchar(20),
    autor   varchar(250),
    title   varchar(250),
    izdata2 varchar(10),
    isbn    varchar(100),
    tirazh  varchar(50),
    objem   varchar(50),
    vid     varchar(50),
    otdel   varchar(50),
    fond    varchar(50),
    cost    integer,
    uchet   varchar(1)
);
create generator nncatalog;
create generator aacatalog;

create table izdatelstvo (
    num    integer not null primary key,
    barcod varchar(20),
    izd    varchar(100),
    mesto  varchar(100)
);
create generator nnizdatelstvo;
create generator ssizdatelstvo;

create table readers (
    num       integer not null primary key,
    post      varchar(1),
    nomer     integer,
    lname     varchar(50),
    fname     varchar(50),
    rabota    varchar(200),
    dolzhnost varchar(100),
    rtel      varchar(50),
    address   varchar(100),
    dtel      varchar(50),
    note      varchar(250)
);
create generator nnreaders;
create generator ooreaders;

-- Working tables of the lending application that the program only empties.
create table sbornik (num integer not null primary key, barcod varchar(20), title varchar(250));
create generator nnsbornik;
create generator sssbornik;

create table comment (num integer not null primary key, barcod varchar(20), note varchar(250));
create generator nncomment;
create generator sscomment;

create table mnogotom (num integer not null primary key, barcod varchar(20), tom varchar(50));
create generator nnmnogotom;
create generator ssmnogotom;

create table udkop (num integer not null primary key, barcod varchar(20), udk varchar(50));
create generator nnudkop;

create table ruki (num integer not null primary key, barcod varchar(20), nomer integer, vydano timestamp);
create generator nnruki;

create table zakaz (num integer not null primary key, barcod varchar(20), nomer integer);
create generator nnzakaz;

create table complect (num integer not null primary key, title varchar(250));
create generator nncomplect;
create generator rrcomplect;
create generator ddcomplect;

create table newbooks (num integer not null primary key, barcod varchar(20));
create generator nnnewbooks;

create table spisanie (num integer not null primary key, akt varchar(50), data timestamp);
create generator nnspisanie;
create generator llspisanie;

create table spisanieitems (num integer not null primary key, spisanie integer, barcod varchar(20));
create generator nnspisanieitems;

-- A reference table: departments of the library.
create table otdely (num integer not null primary key, name varchar(100));
create generator nnotdely;
