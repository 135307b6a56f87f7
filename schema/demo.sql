-- Demo rows: one account in every state of the sign-in rules, a few barcode
-- ranges and the departments.

insert into users (num, xuser, xmass, status, expdate, expdays, explogins)
    values (gen_id(nnusers,1), 'admin', 'admin', 'включен', null, 90, 6);
insert into users (num, xuser, xmass, status, expdate, expdays, explogins)
    values (gen_id(nnusers,1), 'ivanova', 'kniga', 'включен', '2020-01-01', 90, 6);
insert into users (num, xuser, xmass, status, expdate, expdays, explogins)
    values (gen_id(nnusers,1), 'petrov', 'novyi', 'требуется пароль', null, 90, 6);
insert into users (num, xuser, xmass, status, expdate, expdays, explogins)
    values (gen_id(nnusers,1), 'sidorov', 'blok', 'заблокирован', null, 90, 6);

insert into barcodes (num, bs, bp, me) values (gen_id(nnbarcodes,1), 1, 60, 'Абонемент');
insert into barcodes (num, bs, bp, me) values (gen_id(nnbarcodes,1), 1001, 1061, 'Читальный зал');
insert into barcodes (num, bs, bp, me) values (gen_id(nnbarcodes,1), 5000, 5003, null);

insert into otdely (num, name) values (gen_id(nnotdely,1), 'Абонемент');
insert into otdely (num, name) values (gen_id(nnotdely,1), 'Читальный зал');
