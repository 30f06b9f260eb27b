! Reference writer: reads lines "DESCRIPTOR KIND VALUE" and writes VALUE through
! (DESCRIPTOR) with gfortran's formatted output, one record per input line.
program format_ref
  implicit none
  character(len=200) :: line, fmt, text
  character(len=16) :: kind
  integer :: ios, p1, p2
  integer(kind=8) :: ival
  real(kind=4) :: rval
  real(kind=8) :: dval
  do
    read(*, '(A)', iostat=ios) line
    if (ios /= 0) exit
    p1 = index(line, ' ')
    fmt = '(' // line(1:p1-1) // ')'
    p2 = p1 + index(line(p1+1:), ' ')
    kind = line(p1+1:p2-1)
    text = line(p2+1:)
    select case (trim(kind))
    case ('int')
      read(text, *) ival
      write(*, fmt) ival
    case ('real')
      read(text, *) rval
      write(*, fmt) rval
    case ('double')
      read(text, *) dval
      write(*, fmt) dval
    case default
      write(*, fmt) trim(text)
    end select
  end do
end program format_ref
